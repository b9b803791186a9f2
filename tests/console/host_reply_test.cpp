#include "console/core/host_reply.h"

#include <gtest/gtest.h>

#include <cstring>

namespace {

// A reply frame as an agent sends it, with `nics` adapters, in a buffer of `capacity`.
std::vector<uint8_t> Reply(uint8_t setupState, const std::string& name, std::size_t nics,
                           std::size_t capacity = 0, uint8_t wireNicCount = 0xFF) {
  HostRecord record;
  record.hostName.assign(name);
  record.modelName.assign("Model");
  record.osInfo.osValid = 1;
  record.osInfo.osFamily = 1;
  for (std::size_t i = 0; i < nics; ++i) {
    NicEntry nic;
    nic.mac = {0x02, 0, 0, 0, 0, static_cast<uint8_t>(i + 1)};
    nic.ipAddress = 0xC6336400u + static_cast<uint32_t>(i);
    nic.nicName.assign("NIC" + std::to_string(i + 1));
    record.nics.push_back(nic);
  }
  record.nicCount = wireNicCount == 0xFF ? static_cast<uint8_t>(nics) : wireNicCount;
  std::vector<uint8_t> frame(capacity ? capacity : kReplyBaseLength + HostRecordLength(nics), 0);
  frame[FrameOffset::SetupState] = setupState;
  EncodeHostRecord(record, frame.data() + FrameOffset::Host, frame.size() - FrameOffset::Host);
  return frame;
}

TEST(StatusImage, HighestSetBitPicksTheDisc) {
  EXPECT_EQ(StatusImage(0), 2);
  EXPECT_EQ(StatusImage(1), 3);
  EXPECT_EQ(StatusImage(2), 4);
  EXPECT_EQ(StatusImage(3), 4);
  EXPECT_EQ(StatusImage(4), 5);
  EXPECT_EQ(StatusImage(7), 5);
  // Beyond the agent's values the last disc, never a gear frame or an image past the list.
  EXPECT_EQ(StatusImage(8), 5);
  EXPECT_EQ(StatusImage(0x80), 5);
}

TEST(StoredReply, KeepsTheReplyAndOneSpareByte) {
  std::vector<uint8_t> frame = Reply(4, "ALPHA", 2);
  std::vector<uint8_t> stored = MakeStoredReply(frame.data(), frame.size());
  ASSERT_EQ(stored.size(), StoredReplyLength(2));
  EXPECT_EQ(stored.size(), 156u + 88u);
  EXPECT_EQ(0, std::memcmp(stored.data(), frame.data(), frame.size()));
  EXPECT_EQ(stored.back(), 0);
}

TEST(StoredReply, MoreThanTenAdaptersAreCutToTheConsoleCapacity) {
  std::vector<uint8_t> frame = Reply(4, "WIDE", 12);
  std::vector<uint8_t> stored = MakeStoredReply(frame.data(), frame.size());
  ASSERT_EQ(stored.size(), StoredReplyLength(10));
  EXPECT_EQ(ReplyView(stored).NicCount(), 10);
  EXPECT_LE(stored.size(), kConsoleReplyBufferLength);
}

TEST(StoredReply, ShortOrLyingFramesNeverReadPastTheirBytes) {
  std::vector<uint8_t> frame = Reply(4, "SHORT", 0);
  EXPECT_TRUE(MakeStoredReply(frame.data(), kReplyBaseLength + HostRecordLength(0) - 1).empty());
  EXPECT_TRUE(MakeStoredReply(nullptr, 600).empty());
  // nicCount says 3 but only one entry's bytes are there: the copy keeps what is present.
  std::vector<uint8_t> lying = Reply(4, "LIAR", 1, 0, 3);
  std::vector<uint8_t> stored = MakeStoredReply(lying.data(), lying.size());
  ASSERT_EQ(stored.size(), StoredReplyLength(1));
  EXPECT_EQ(ReplyView(stored).NicCount(), 1);
}

TEST(CopyHostRecord, ResizesOnAdapterCountChangeAndKeepsBytes20To23) {
  std::vector<uint8_t> first = Reply(1, "ALPHA", 1);
  std::vector<uint8_t> stored = MakeStoredReply(first.data(), first.size());
  const uint8_t kept[4] = {0xDE, 0xAD, 0xBE, 0xEF};
  std::memcpy(stored.data() + 20, kept, 4);

  std::vector<uint8_t> refreshed = Reply(4, "ALPHA2", 3, kConsoleReplyBufferLength);
  refreshed[16] = 0x11;
  std::memset(refreshed.data() + 20, 0x55, 4);
  ASSERT_TRUE(CopyHostRecord(stored, refreshed.data(), refreshed.size()));
  EXPECT_EQ(stored.size(), StoredReplyLength(3));
  EXPECT_EQ(0, std::memcmp(stored.data() + 20, kept, 4));
  EXPECT_EQ(stored[16], 0x11);  // the rest of the header is the new one
  EXPECT_EQ(stored[FrameOffset::SetupState], 4);
  HostRecord record;
  ASSERT_TRUE(ReplyHostRecord(stored.data(), stored.size(), record));
  EXPECT_EQ(record.hostName.str(), "ALPHA2");
  EXPECT_EQ(record.nics.size(), 3u);

  // Fewer adapters: the buffer shrinks; the kept word still survives.
  std::vector<uint8_t> smaller = Reply(2, "ALPHA3", 0, kConsoleReplyBufferLength);
  ASSERT_TRUE(CopyHostRecord(stored, smaller.data(), smaller.size()));
  EXPECT_EQ(stored.size(), StoredReplyLength(0));
  EXPECT_EQ(0, std::memcmp(stored.data() + 20, kept, 4));
}

TEST(CopyHostRecord, RefusesFramesWithoutARecord) {
  std::vector<uint8_t> first = Reply(1, "ALPHA", 1);
  std::vector<uint8_t> stored = MakeStoredReply(first.data(), first.size());
  std::vector<uint8_t> before = stored;
  uint8_t tiny[27] = {};
  EXPECT_FALSE(CopyHostRecord(stored, tiny, sizeof tiny));
  EXPECT_EQ(stored, before);
}

TEST(ListTexts, MacAndAddressColumn) {
  EXPECT_EQ(FormatMac({0x00, 0x1a, 0x2B, 0xff, 0x00, 0x09}), "00:1A:2B:FF:00:09");
  EXPECT_EQ(AddressColumnText(0xC0A80001u, "NIC1"), "192.168.0.1/NIC1");
  EXPECT_EQ(AddressColumnText(0, ""), "0.0.0.0/");
  std::string longest = AddressColumnText(0xFFFFFFFEu, "NIC-with-a-long-name-beyond");
  EXPECT_EQ(longest.size(), 32u);
}

ReplyView Key(const std::vector<uint8_t>& reply) { return ReplyView(reply); }

// A reply whose answering adapter (bytes 4..9) is its first entry, at `address`.
std::vector<uint8_t> Answered(uint32_t address) {
  std::vector<uint8_t> reply = Reply(0, "h", 1);
  NicEntry nic = *ReplyView(reply).Nic(0);
  nic.ipAddress = address;
  StoreReplyNic(reply.data(), reply.size(), 0, nic);
  std::memcpy(reply.data() + FrameOffset::AgentMac, nic.mac.data(), 6);
  return reply;
}

TEST(CompareHosts, EachColumnAscending) {
  std::vector<uint8_t> a = Reply(1, "alpha", 1);
  std::vector<uint8_t> b = Reply(4, "beta", 3);
  EXPECT_LT(CompareHostsAscending(Key(a), Key(b), 0), 0);  // setupState 1 before 4
  EXPECT_GT(CompareHostsAscending(Key(b), Key(a), 0), 0);
  EXPECT_LT(CompareHostsAscending(Key(a), Key(b), 1), 0);
  EXPECT_EQ(CompareHostsAscending(Key(a), Key(a), 1), 0);
  EXPECT_EQ(CompareHostsAscending(Key(a), Key(b), 2), 0);  // same model
  EXPECT_LT(CompareHostsAscending(Key(a), Key(b), 4), 0);  // 1 adapter before 3
  // 10.0.0.1 before 192.168.0.1: numeric, not textual, and unsigned.
  std::vector<uint8_t> low = Answered(0x0A000001u), high = Answered(0xC0A80001u);
  EXPECT_EQ(CompareHostsAscending(Key(low), Key(high), 5), -1);
  EXPECT_EQ(CompareHostsAscending(Key(high), Key(low), 5), 1);
  EXPECT_EQ(CompareHostsAscending(Key(high), Key(high), 5), 0);
  // No answering entry (zero sender) sorts as address 0.
  EXPECT_EQ(CompareHostsAscending(Key(a), Key(low), 5), -1);
  EXPECT_EQ(CompareHostsAscending(Key(a), Key(b), 9), 0);
}

TEST(CompareHosts, HostNamesAreCaseSensitiveAndOsNamesByShortText) {
  std::vector<uint8_t> upper = Reply(0, "Zeta", 0);
  std::vector<uint8_t> lower = Reply(0, "alpha", 0);
  EXPECT_LT(CompareHostsAscending(Key(upper), Key(lower), 1), 0);  // 'Z' < 'a'
  std::vector<uint8_t> prefix = Reply(0, "alp", 0);
  EXPECT_LT(CompareHostsAscending(Key(prefix), Key(lower), 1), 0);

  std::vector<uint8_t> linux = Reply(0, "l", 0);
  {
    HostRecord record = ReplyView(linux).Record();
    record.osInfo.osFamily = 2;  // Linux
    StoreReplyRecord(linux.data(), linux.size(), record);
  }
  std::vector<uint8_t> windows = Reply(0, "w", 0);  // osValid 1, family 1, platform 0: "Win??"
  EXPECT_EQ(CompareHostsAscending(Key(linux), Key(windows), 3), -1);
  EXPECT_EQ(CompareHostsAscending(Key(windows), Key(linux), 3), 1);
  // A truncated reply compares as empty fields instead of reading beyond its bytes.
  ReplyView cut(linux.data(), 30);
  EXPECT_LT(CompareHostsAscending(cut, Key(windows), 1), 0);
  EXPECT_EQ(CompareHostsAscending(cut, cut, 3), 0);
}

}  // namespace
