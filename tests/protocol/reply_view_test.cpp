#include "protocol/reply_view.h"

#include <gtest/gtest.h>

#include "sample_records.h"

namespace {

constexpr std::size_t WireLength(std::size_t nics) { return kReplyBaseLength + HostRecordLength(nics); }

// The sample reply answers from adapter 0 (bytes 4..9 = its MAC); `sender` moves that.
std::vector<uint8_t> ReplyFrom(std::size_t nics, int sender, std::size_t bufferLength) {
  std::vector<uint8_t> reply = SampleReply(SampleRecord(nics), 1, bufferLength);
  Mac mac{};
  if (sender >= 0) mac = SampleNic(sender, false, 0, 0, 0).mac;
  std::copy(mac.begin(), mac.end(), reply.begin() + FrameOffset::AgentMac);
  return reply;
}

TEST(ReplyView, ReadsEveryPartOfAWholeReply) {
  std::vector<uint8_t> bytes = ReplyFrom(3, 2, kConsoleReplyBufferLength);
  ReplyView reply(bytes);
  ASSERT_TRUE(reply.HasRecord());
  EXPECT_EQ(reply.Header().adapterIndex, 2u);
  EXPECT_EQ(reply.Header().requestCode, 1u);
  EXPECT_EQ(reply.Status(), Status::Ok);
  EXPECT_EQ(reply.SetupState(), SetupState::AllAddressed);
  EXPECT_EQ(reply.NicCount(), 3);
  EXPECT_EQ(reply.EntryCount(), 3u);
  EXPECT_EQ(reply.Record().hostName.str(), "SRV-ALPHA");
  EXPECT_EQ(reply.Record().nics.size(), 3u);
  EXPECT_EQ(reply.MagicNumber(), 0x5F5E0FF1u);
  EXPECT_EQ(reply.MgmtPort(), 2623);
  EXPECT_EQ(reply.DnsServer(), 0xC0A80001u);
  EXPECT_EQ(reply.DnsStatic(), 1);
  EXPECT_EQ(reply.Os().osVariant, 1);
  EXPECT_EQ(reply.Nic(1)->nicName.str(), "NIC2");
  EXPECT_FALSE(reply.Nic(3));
  // The answering adapter is found by the sender MAC, not by position.
  EXPECT_EQ(reply.AnsweringIndex(), 2u);
  EXPECT_EQ(reply.AnsweringNic()->nicName.str(), "NIC3");
  EXPECT_EQ(reply.AnsweringAddress(), 0xC0A8000Cu);
  EXPECT_EQ(reply.AnsweringNicBytes(), bytes.data() + 155 + 2 * kNicEntryLength);
}

TEST(ReplyView, ShortBuffersGiveZeroValuesNeverReads) {
  std::vector<uint8_t> bytes = ReplyFrom(2, 0, kConsoleReplyBufferLength);
  // Each cut keeps what is whole before it: no record below 155 bytes, entries by 44.
  for (std::size_t length : {std::size_t{0}, std::size_t{10}, std::size_t{26}, std::size_t{27},
                             std::size_t{154}, std::size_t{155}, std::size_t{198},
                             std::size_t{199}}) {
    std::vector<uint8_t> cut(bytes.begin(), bytes.begin() + static_cast<std::ptrdiff_t>(length));
    ReplyView reply(cut.data(), cut.size());  // heap-exact: the sanitizer sees any over-read
    EXPECT_EQ(reply.HasFields(), length >= 27) << length;
    EXPECT_EQ(reply.HasRecord(), length >= 155) << length;
    EXPECT_EQ(reply.EntryCount(), length >= 199 ? 1u : 0u) << length;
    EXPECT_EQ(reply.NicCount(), length >= 155 ? 2 : 0) << length;
    if (length < 26) {  // the status field ends at 26
      EXPECT_EQ(reply.Status(), Status::ResponseTimeout);
    }
    if (length < 155) {
      EXPECT_EQ(reply.Record().hostName.str(), "");
      EXPECT_EQ(reply.MgmtPort(), 0);
    }
    EXPECT_EQ(reply.AnsweringNic().has_value(), length >= 199) << length;
  }
  ReplyView none(nullptr, 600);
  EXPECT_FALSE(none.HasFields());
  EXPECT_FALSE(none.AnsweringNicBytes());
}

TEST(ReplyView, HostileCountsAndSendersFindNothingOutsideTheBuffer) {
  // nicCount 255 in a 596-byte buffer: only the ten whole entries there are searched.
  std::vector<uint8_t> bytes = ReplyFrom(10, -1, kConsoleReplyBufferLength);
  bytes[FrameOffset::Host + RecordOffset::NicCount] = 255;
  ReplyView reply(bytes);
  EXPECT_EQ(reply.NicCount(), 255);
  EXPECT_EQ(reply.EntryCount(), 10u);
  EXPECT_FALSE(reply.AnsweringIndex());  // zero sender names no adapter
  // A zero sender does not match an all-zero entry the agent could not describe.
  std::vector<uint8_t> blank = ReplyFrom(1, -1, kConsoleReplyBufferLength);
  StoreReplyNic(blank.data(), blank.size(), 0, NicEntry{});
  EXPECT_FALSE(ReplyView(blank).AnsweringNic());
  // A sender whose entry lies past the held entries is not found.
  std::vector<uint8_t> far = ReplyFrom(3, 2, kConsoleReplyBufferLength);
  far.resize(WireLength(2));
  EXPECT_FALSE(ReplyView(far).AnsweringNic());
}

// What the client transport leaves after a time-out is the caller's buffer with only the
// status written: a zeroed 596 bytes is no host record, nor are the panel's own edits.
TEST(ReplyView, OnlyAnAgentsAnswerHoldsARecordToTakeOver) {
  std::vector<uint8_t> bytes = ReplyFrom(2, 0, kConsoleReplyBufferLength);
  for (int status : {0, 2, 4, 18, 10000}) {
    StoreU16(bytes.data() + FrameOffset::Status, static_cast<uint16_t>(status));
    EXPECT_TRUE(ReplyView(bytes).HoldsAgentRecord()) << status;
  }
  for (int status : {1, 3, 9, 17, 10001, 10006, 10007, 10010, 0xFFFF}) {
    StoreU16(bytes.data() + FrameOffset::Status, static_cast<uint16_t>(status));
    EXPECT_FALSE(ReplyView(bytes).HoldsAgentRecord()) << status;
  }
  std::vector<uint8_t> timedOut(kConsoleReplyBufferLength, 0);
  StoreU16(timedOut.data() + FrameOffset::Status, Status::ResponseTimeout);
  EXPECT_FALSE(ReplyView(timedOut).HoldsAgentRecord());
  StoreU16(bytes.data() + FrameOffset::Status, Status::Ok);
  EXPECT_FALSE(ReplyView(bytes.data(), 154).HoldsAgentRecord());
}

TEST(ReplyView, DeliveredDiscoveryReplyIsReadUpToTenEntries) {
  std::vector<uint8_t> bytes = ReplyFrom(12, 11, 27 + HostRecordLength(12));
  ReplyView reply = ReplyView::Delivered(bytes.data());
  EXPECT_EQ(reply.length(), 27 + HostRecordLength(10));
  EXPECT_EQ(reply.EntryCount(), 10u);
  EXPECT_FALSE(reply.AnsweringNic());  // entry 11 is beyond what a console keeps
  EXPECT_FALSE(ReplyView::Delivered(nullptr).HasFields());
}

TEST(ReplyView, StoresStayInsideTheHeldEntries) {
  std::vector<uint8_t> bytes = ReplyFrom(2, 0, WireLength(2));
  NicEntry nic = SampleNic(1, true, 1, 2, 3);
  EXPECT_TRUE(StoreReplyNic(bytes.data(), bytes.size(), 1, nic));
  EXPECT_EQ(ReplyView(bytes).Nic(1)->dhcpEnabled, 1);
  EXPECT_FALSE(StoreReplyNic(bytes.data(), bytes.size(), 2, nic));
  EXPECT_FALSE(StoreReplyNic(bytes.data(), bytes.size() - 1, 1, nic));  // entry cut short
  EXPECT_TRUE(StoreReplyDnsStatic(bytes.data(), bytes.size(), 0));
  EXPECT_EQ(ReplyView(bytes).DnsStatic(), 0);
  EXPECT_FALSE(StoreReplyDnsStatic(bytes.data(), 154, 1));
  EXPECT_TRUE(StoreReplySetupState(bytes.data(), bytes.size(), 2));
  EXPECT_EQ(ReplyView(bytes).SetupState(), 2);
  EXPECT_FALSE(StoreReplySetupState(bytes.data(), 26, 2));
  EXPECT_FALSE(StoreReplyRecord(bytes.data(), 26, SampleRecord(0)));
}

TEST(BuiltRequestLength, FollowsTheCodeAndTheSettingsCount) {
  EXPECT_EQ(BuiltRequestLength(BuildDiscoverRequest(0).data()), kShortRequestLength);
  std::vector<uint8_t> settings(kSettingsRequestBaseLength + 3 * kNicEntryLength, 0);
  settings[FrameOffset::RequestCode] = Request::ApplySettings;
  settings[SettingsOffset::NicCount] = 3;
  EXPECT_EQ(BuiltRequestLength(settings.data()), settings.size());
  std::vector<uint8_t> unknown(kShortRequestLength, 0);
  unknown[FrameOffset::RequestCode] = 8;
  EXPECT_EQ(BuiltRequestLength(unknown.data()), 0u);
  EXPECT_EQ(BuiltRequestLength(nullptr), 0u);
}

}  // namespace
