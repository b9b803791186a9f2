#include <gtest/gtest.h>

#include <algorithm>

#include "protocol/frames.h"
#include "sample_records.h"

namespace {

constexpr uint8_t kCanary = 0xCD;

bool AllCanary(const std::vector<uint8_t>& buffer, std::size_t from) {
  return std::all_of(buffer.begin() + static_cast<std::ptrdiff_t>(from), buffer.end(),
                     [](uint8_t b) { return b == kCanary; });
}

TEST(Header, ByteExact) {
  const std::vector<uint8_t> out = {0x04, 0x03, 0x02, 0x01, 0xAA, 0xBB, 0xCC, 0xDD,
                                    0xEE, 0xFF, 0x02, 0x00, 0x09, 0x00, 0x00, 0x00,
                                    1,    2,    3,    4,    5,    6,    7,    8};
  FrameHeader back;
  ASSERT_TRUE(DecodeHeader(out.data(), kHeaderLength, back));
  EXPECT_EQ(back.adapterIndex, 0x01020304u);
  EXPECT_EQ(back.agentMac, (Mac{0xAA, 0xBB, 0xCC, 0xDD, 0xEE, 0xFF}));
  EXPECT_EQ(back.frameKind, 2);
  EXPECT_EQ(back.requestCode, Request::Refresh);
  EXPECT_EQ(back.reserved, (std::array<uint8_t, 8>{1, 2, 3, 4, 5, 6, 7, 8}));

  FrameHeader untouched;
  untouched.requestCode = 77;
  EXPECT_FALSE(DecodeHeader(out.data(), kHeaderLength - 1, untouched));
  EXPECT_EQ(untouched.requestCode, 77u);
}

TEST(HostRecordCodec, FieldsLandAtTheirOffsets) {
  const HostRecord r = SampleRecord(1);
  std::vector<uint8_t> out(HostRecordLength(1) + 8, kCanary);
  ASSERT_EQ(EncodeHostRecord(r, out.data(), out.size()), 172u);
  EXPECT_TRUE(AllCanary(out, 172));

  EXPECT_EQ(std::string(reinterpret_cast<const char*>(&out[0]), 10), std::string("SRV-ALPHA\0", 10));
  EXPECT_EQ(std::string(reinterpret_cast<const char*>(&out[36]), 8), std::string("Unknown\0", 8));
  EXPECT_EQ(out[57], 1);
  EXPECT_EQ(out[58], 0x3F);  // 2623
  EXPECT_EQ(out[59], 0x0A);
  EXPECT_EQ(out[60], 'h');
  // 192.168.0.1 travels as 01 00 A8 C0 in every IPv4 field: DNS, address, gateway.
  const uint8_t ip[] = {0x01, 0x00, 0xA8, 0xC0};
  EXPECT_TRUE(std::equal(ip, ip + 4, &out[96]));
  EXPECT_EQ(out[100], 1);
  EXPECT_EQ(LoadU32(&out[104]), 0x5F5E0FF1u);
  // OsInfo at 108: valid, family, 2 reserved, platform, edition, major, minor, build.
  const uint8_t os[] = {1, 1, 0, 0, 2, 0, 5, 2, 0xCE, 0x0E, 0, 0, 0, 1, 0, 0};
  EXPECT_TRUE(std::equal(os, os + 16, &out[108]));
  EXPECT_EQ(out[124], 1);
  EXPECT_EQ(out[125] | out[126] | out[127] | out[52] | out[53] | out[54] | out[55], 0);
  // NicEntry at 128: mac, reserved, dhcpEnabled, nicName, changeMask, ip, mask, gateway.
  const uint8_t* nic = &out[128];
  EXPECT_EQ(nic[5], 0x50);
  EXPECT_EQ(nic[6], 0);
  EXPECT_EQ(nic[7], 0);
  EXPECT_EQ(std::string(reinterpret_cast<const char*>(nic + 8), 5), std::string("NIC1\0", 5));
  EXPECT_EQ(LoadU32(nic + 28), 0u);
  const uint8_t addr[] = {0x0A, 0x00, 0xA8, 0xC0};
  EXPECT_TRUE(std::equal(addr, addr + 4, nic + 32));
  const uint8_t mask[] = {0x00, 0xFF, 0xFF, 0xFF};
  EXPECT_TRUE(std::equal(mask, mask + 4, nic + 36));
  EXPECT_TRUE(std::equal(ip, ip + 4, nic + 40));
}

TEST(HostRecordCodec, RoundTripIsByteStable) {
  HostRecord r = SampleRecord(3);
  r.nameChangePending = 1;
  r.nics[1].changeMask = kNicCanTeam | kNicIsTeamed;
  std::vector<uint8_t> out(HostRecordLength(3));
  ASSERT_EQ(EncodeHostRecord(r, out.data(), out.size()), out.size());
  HostRecord back;
  ASSERT_TRUE(DecodeHostRecord(out.data(), out.size(), back));
  EXPECT_EQ(back.nameChangePending, 1);
  EXPECT_EQ(back.mgmtLaunchString.str(), "http://%A:%P/");
  ASSERT_EQ(back.nics.size(), 3u);
  EXPECT_EQ(back.nics[1].changeMask, 0x30u);
  EXPECT_EQ(back.nics[2].nicName.str(), "NIC3");
  std::vector<uint8_t> again(out.size());
  EncodeHostRecord(back, again.data(), again.size());
  EXPECT_EQ(again, out);
}

TEST(HostRecordCodec, EncodeRefusesTooSmallACapacity) {
  const HostRecord r = SampleRecord(2);
  std::vector<uint8_t> out(HostRecordLength(2), kCanary);
  EXPECT_EQ(EncodeHostRecord(r, out.data(), out.size() - 1), 0u);
  EXPECT_EQ(EncodeHostRecord(r, out.data(), 100), 0u);
  EXPECT_TRUE(AllCanary(out, 0));  // nothing written
}

TEST(HostRecordCodec, UnterminatedNameIsReadWithinItsField) {
  std::vector<uint8_t> in(kHostRecordBaseLength, 0);
  std::fill(in.begin(), in.begin() + 36, 'N');  // no NUL in hostName
  std::fill(in.begin() + 36, in.begin() + 52, 'M');  // nor in modelName
  HostRecord r;
  ASSERT_TRUE(DecodeHostRecord(in.data(), in.size(), r));
  EXPECT_EQ(r.hostName.str(), std::string(36, 'N'));
  EXPECT_EQ(r.modelName.str(), std::string(16, 'M'));
}

TEST(HostRecordCodec, ShortOrOverCountedInputKeepsOnlyWholeEntries) {
  const HostRecord r = SampleRecord(3);
  std::vector<uint8_t> bytes(HostRecordLength(3));
  EncodeHostRecord(r, bytes.data(), bytes.size());

  HostRecord out;
  out.magicNumber = 99;
  EXPECT_FALSE(DecodeHostRecord(bytes.data(), kHostRecordBaseLength - 1, out));
  EXPECT_EQ(out.magicNumber, 99u);  // a failed decode leaves its output alone

  // Cut inside the third entry: two whole entries, the wire count is kept.
  ASSERT_TRUE(DecodeHostRecord(bytes.data(), HostRecordLength(3) - 1, out));
  EXPECT_EQ(out.nicCount, 3);
  EXPECT_EQ(out.nics.size(), 2u);

  // nicCount beyond the console's capacity: a 596-byte buffer gives at most 10 entries.
  bytes.assign(kConsoleReplyBufferLength, 0x11);
  bytes[124] = 200;
  ASSERT_TRUE(DecodeHostRecord(bytes.data(), bytes.size() - FrameOffset::Host, out));
  EXPECT_EQ(out.nicCount, 200);
  EXPECT_EQ(out.nics.size(), kConsoleNicCapacity);

  // nicCount smaller than the bytes: the rest of the buffer is no entry.
  bytes[124] = 1;
  ASSERT_TRUE(DecodeHostRecord(bytes.data(), bytes.size(), out));
  EXPECT_EQ(out.nics.size(), 1u);
}

TEST(ReplyFields, ReadersOfAStoredOrShortReply) {
  std::vector<uint8_t> reply = SampleReply(SampleRecord(2), Request::Refresh);
  StoreU16(reply.data() + 24, Status::NotAdministrator);
  EXPECT_EQ(ReplyStatus(reply.data(), reply.size()), 9);
  EXPECT_EQ(ReplySetupState(reply.data(), reply.size()), SetupState::AllAddressed);
  HostRecord r;
  ASSERT_TRUE(ReplyHostRecord(reply.data(), reply.size(), r));
  EXPECT_EQ(r.nics.size(), 2u);

  EXPECT_EQ(ReplyStatus(reply.data(), 25), Status::ResponseTimeout);
  EXPECT_EQ(ReplyStatus(nullptr, 0), Status::ResponseTimeout);
  EXPECT_EQ(ReplySetupState(reply.data(), 26), 0);
  EXPECT_FALSE(ReplyHostRecord(reply.data(), 154, r));
  EXPECT_FALSE(ReplyHostRecord(nullptr, 0, r));
  ASSERT_TRUE(ReplyHostRecord(reply.data(), 155, r));  // the record without its entries
  EXPECT_EQ(r.nicCount, 2);
  EXPECT_TRUE(r.nics.empty());
}

}  // namespace
