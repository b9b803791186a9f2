#include "console/core/action_requests.h"

#include <gtest/gtest.h>

#include <cstring>

namespace {

constexpr uint8_t kMac[6] = {0x00, 0x1B, 0x21, 0x3A, 0x4C, 0x5D};

// A stored reply: header of an answered request, then a host record.
std::vector<uint8_t> StoredReply(const HostRecord& record) {
  std::vector<uint8_t> reply(kConsoleReplyBufferLength, 0);
  StoreU32(reply.data(), 1);  // adapterIndex
  std::memcpy(reply.data() + 4, kMac, 6);
  StoreU16(reply.data() + 10, 2);
  StoreU32(reply.data() + 12, 1);
  reply[20] = 0xAB;  // transport bytes never travel back
  EXPECT_NE(EncodeHostRecord(record, reply.data() + FrameOffset::Host, reply.size() - 27), 0u);
  return reply;
}

HostRecord Record(uint8_t osFamily, std::size_t cards) {
  HostRecord record;
  record.hostName.assign("HOST");
  record.magicNumber = 0x5F5E1234;
  record.osInfo.osValid = 1;
  record.osInfo.osFamily = osFamily;
  record.nicCount = static_cast<uint8_t>(cards);
  for (std::size_t i = 0; i < cards; ++i) {
    NicEntry nic;
    nic.dhcpEnabled = 1;
    nic.mac[5] = static_cast<uint8_t>(i);
    record.nics.push_back(nic);
  }
  return record;
}

void ExpectHeaderAddressesHost(const std::vector<uint8_t>& request, uint32_t code) {
  EXPECT_EQ(LoadU32(request.data()), 1u);
  EXPECT_EQ(std::memcmp(request.data() + 4, kMac, 6), 0);
  EXPECT_EQ(LoadU16(request.data() + 10), 0);  // frameKind as the console sends it
  EXPECT_EQ(LoadU32(request.data() + 12), code);
  for (std::size_t i = 16; i < 24; ++i) EXPECT_EQ(request[i], 0) << "reserved byte " << i;
}

bool AllZero(const std::vector<uint8_t>& bytes, std::size_t from, std::size_t count) {
  for (std::size_t i = from; i < from + count; ++i)
    if (bytes[i] != 0) return false;
  return true;
}

TEST(BuildApplyRequest, WindowsHostCarriesNameAndBodySizedByCards) {
  const HostRecord stored = Record(1, 3);
  HostRecord edited = stored;
  edited.nics[2].dhcpEnabled = 0;
  edited.nics[2].ipAddress = 0xC0A80001;
  const std::vector<uint8_t> reply = StoredReply(stored);
  const auto request =
      BuildApplyRequest(reply.data(), reply.size(), stored, edited, {"Administrator", "pw"});
  ASSERT_EQ(request.size(), 260u);
  ExpectHeaderAddressesHost(request, Request::ApplySettings);
  EXPECT_STREQ(reinterpret_cast<const char*>(request.data() + 24), "Administrator");
  EXPECT_STREQ(reinterpret_cast<const char*>(request.data() + 60), "pw");
  EXPECT_EQ(LoadU32(request.data() + 76), 0x5F5E1234u);
  EXPECT_EQ(request[80], 0);  // unchanged host name: empty
  EXPECT_EQ(request[124], 3);
  const uint8_t* card2 = request.data() + 128 + 2 * 44;
  EXPECT_EQ(LoadU32(card2 + 28), kChangeAll);
  const uint8_t address[4] = {0x01, 0x00, 0xA8, 0xC0};
  EXPECT_EQ(std::memcmp(card2 + 32, address, 4), 0);
}

TEST(BuildApplyRequest, ShortStoredReplyBuildsNothing) {
  const HostRecord stored = Record(1, 1);
  const uint8_t header[10] = {};
  EXPECT_TRUE(BuildApplyRequest(header, sizeof header, stored, stored, {"a", "b"}).empty());
}

TEST(BuildPasswordRequest, RepeatsNewPasswordAsConfirmation) {
  const HostRecord stored = Record(1, 1);
  const std::vector<uint8_t> reply = StoredReply(stored);
  const auto request = BuildPasswordRequest(reply.data(), reply.size(), stored,
                                            {"Admin", "old"}, 1, "NEWPASSWORD12345");
  ASSERT_EQ(request.size(), kPasswordRequestLength);
  ExpectHeaderAddressesHost(request, Request::ChangePassword);
  EXPECT_STREQ(reinterpret_cast<const char*>(request.data() + 24), "Admin");
  EXPECT_EQ(request[80], 1);
  EXPECT_TRUE(AllZero(request, 81, 3));
  EXPECT_EQ(std::memcmp(request.data() + 84, "NEWPASSWORD12345", 16), 0);
  EXPECT_EQ(std::memcmp(request.data() + 100, "NEWPASSWORD12345", 16), 0);
}

TEST(BuildPasswordRequest, LinuxHostAndOverlongPasswordStayInTheirFields) {
  const HostRecord stored = Record(2, 1);
  const std::vector<uint8_t> reply = StoredReply(stored);
  const auto request = BuildPasswordRequest(reply.data(), reply.size(), stored,
                                            {"root", "01234567890123456789"}, 0, "");
  ASSERT_EQ(request.size(), kPasswordRequestLength);
  EXPECT_TRUE(AllZero(request, 24, 36));
  EXPECT_EQ(std::memcmp(request.data() + 60, "0123456789012345", 16), 0);
  EXPECT_EQ(LoadU32(request.data() + 76), 0x5F5E1234u);
  EXPECT_TRUE(AllZero(request, 80, 36));  // account 0, empty new password sent as typed
}

TEST(BuildShortActionRequest, TeamUnteamRestartHaveAZeroBody) {
  const HostRecord stored = Record(1, 1);
  const std::vector<uint8_t> reply = StoredReply(stored);
  for (uint32_t code : {Request::Team, Request::Unteam, Request::Restart}) {
    const auto request =
        BuildShortActionRequest(code, reply.data(), reply.size(), stored, {"Administrator", "x"});
    ASSERT_EQ(request.size(), kShortRequestLength);
    ExpectHeaderAddressesHost(request, code);
    EXPECT_TRUE(AllZero(request, 80, 4));
  }
  EXPECT_TRUE(BuildShortActionRequest(Request::Poll, reply.data(), reply.size(), stored,
                                      {"a", "b"})
                  .empty());
}

TEST(TeamingRequestCode, OnlyTheExactTeamingCaptionTeams) {
  EXPECT_EQ(TeamingRequestCode("Teaming"), Request::Team);
  EXPECT_EQ(TeamingRequestCode("Unteam"), Request::Unteam);
  EXPECT_EQ(TeamingRequestCode("teaming"), Request::Unteam);
  EXPECT_EQ(TeamingRequestCode(""), Request::Unteam);
}

}  // namespace
