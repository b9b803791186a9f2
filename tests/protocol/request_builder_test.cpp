#include <gtest/gtest.h>

#include <algorithm>

#include "protocol/frames.h"
#include "sample_records.h"

namespace {

bool Zero(const std::vector<uint8_t>& v, std::size_t from, std::size_t to) {
  return std::all_of(v.begin() + static_cast<std::ptrdiff_t>(from),
                     v.begin() + static_cast<std::ptrdiff_t>(to), [](uint8_t b) { return b == 0; });
}

TEST(BuildRequest, DiscoverIsBroadcastAndOtherwiseZero) {
  const std::vector<uint8_t> r = BuildDiscoverRequest(1);
  ASSERT_EQ(r.size(), 84u);
  const std::vector<uint8_t> head = {1, 0, 0, 0, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF,
                                     0, 0, 1, 0, 0, 0};
  EXPECT_TRUE(std::equal(head.begin(), head.end(), r.begin()));
  EXPECT_TRUE(Zero(r, 16, 84));
}

TEST(BuildRequest, TargetedCopiesAddressingFromTheStoredReply) {
  const std::vector<uint8_t> stored = SampleReply(SampleRecord(3));
  const std::vector<uint8_t> r =
      BuildTargetedRequest(Request::ApplySettings, stored.data(), stored.size(), 3);
  ASSERT_EQ(r.size(), 260u);
  EXPECT_TRUE(std::equal(stored.begin(), stored.begin() + 10, r.begin()));
  EXPECT_EQ(LoadU16(&r[10]), 0) << "frameKind of the stored reply is not copied";
  EXPECT_EQ(LoadU32(&r[12]), Request::ApplySettings);
  EXPECT_TRUE(Zero(r, 16, 260)) << "reserved bytes of the stored reply are not copied";

  EXPECT_EQ(BuildTargetedRequest(Request::ChangePassword, stored.data(), stored.size()).size(),
            116u);
  EXPECT_EQ(BuildTargetedRequest(Request::Restart, stored.data(), stored.size()).size(), 84u);
  EXPECT_TRUE(BuildTargetedRequest(Request::Reserved8, stored.data(), stored.size()).empty());
  EXPECT_TRUE(BuildTargetedRequest(0, stored.data(), stored.size()).empty());
  EXPECT_TRUE(BuildTargetedRequest(Request::Poll, stored.data(), 23).empty());
  EXPECT_TRUE(BuildTargetedRequest(Request::Poll, nullptr, 0).empty());
}

TEST(BuildRequest, WindowsHostGetsUserNamePasswordAndMagic) {
  const HostRecord stored = SampleRecord(1);
  std::vector<uint8_t> r(84, 0);
  FixedText<16> password;
  password.assign("0123456789abcdef");  // fills the field, no terminator
  SetCredentials(r, stored, "Administrator", password);
  EXPECT_EQ(std::string(reinterpret_cast<const char*>(&r[24]), 14), std::string("Administrator\0", 14));
  EXPECT_TRUE(Zero(r, 38, 60));
  EXPECT_EQ(std::string(reinterpret_cast<const char*>(&r[60]), 16), "0123456789abcdef");
  EXPECT_EQ(LoadU32(&r[76]), stored.magicNumber);
  EXPECT_TRUE(Zero(r, 80, 84));

  // A name too long for the field keeps its terminator in byte 35.
  SetCredentials(r, stored, std::string(50, 'u'), password);
  EXPECT_EQ(std::string(reinterpret_cast<const char*>(&r[24]), 35), std::string(35, 'u'));
  EXPECT_EQ(r[59], 0);
}

TEST(BuildRequest, LinuxHostGetsThirtySixZeroBytesOfUserName) {
  HostRecord stored = SampleRecord(1);
  stored.osInfo.osFamily = 2;
  std::vector<uint8_t> r(116, 0xEE);  // stale bytes must not survive in userName
  FixedText<16> password;
  password.assign("pw");
  SetCredentials(r, stored, "root", password);
  EXPECT_TRUE(Zero(r, 24, 60));
  const uint8_t pw[16] = {'p', 'w'};
  EXPECT_TRUE(std::equal(pw, pw + 16, &r[60]));
  EXPECT_EQ(LoadU32(&r[76]), stored.magicNumber);

  std::vector<uint8_t> tooShort(79, 0xEE);
  SetCredentials(tooShort, stored, "root", password);
  EXPECT_TRUE(std::all_of(tooShort.begin(), tooShort.end(), [](uint8_t b) { return b == 0xEE; }));
}

TEST(BuildRequest, RefreshPresetGoesToOffset131OfTheReplyBuffer) {
  std::vector<uint8_t> reply(kConsoleReplyBufferLength, 0);
  PresetRefreshReply(reply.data(), reply.size(), 0x11223344);
  const uint8_t magic[] = {0x44, 0x33, 0x22, 0x11};
  EXPECT_TRUE(std::equal(magic, magic + 4, &reply[131]));
  EXPECT_TRUE(Zero(reply, 0, 131));
  EXPECT_TRUE(Zero(reply, 135, reply.size()));
  HostRecord r;
  ASSERT_TRUE(ReplyHostRecord(reply.data(), reply.size(), r));
  EXPECT_EQ(r.magicNumber, 0x11223344u);

  std::vector<uint8_t> small(134, 0);
  PresetRefreshReply(small.data(), small.size(), 0x11223344);
  EXPECT_TRUE(Zero(small, 0, small.size()));
}

}  // namespace
