// The console's actions under Wine and Xvfb, against the fake transport that records every
// request byte for byte.
#include <gtest/gtest.h>

#include <cstring>

#include "console/gui/resource.h"
#include "console_session.h"
#include "protocol/frames.h"

namespace {

constexpr const char* kWindowsHost =
    "host name=SRV1 model=R300 setup=4 os=1,1,2,1,5,2,3790,2,2 mgmt=1,2623,http://%A:%P/ "
    "dns=10.0.0.53 static=0 magic=0x5F5E1000 answer=0\n"
    "nic mac=00:11:22:33:44:01 dhcp=1 ip=10.0.0.21 mask=255.255.255.0 gw=10.0.0.1\n";

constexpr const char* kLinuxHost =
    "host name=LNX1 model=R200 setup=4 os=1,2,1,0,9,0,0x02060000,0,0 dns=10.0.0.53 static=1 "
    "magic=0x5F5E1000 answer=0\n"
    "nic mac=00:11:22:33:55:01 dhcp=0 ip=10.0.0.31 mask=255.255.255.0 gw=10.0.0.1\n";

constexpr uint32_t kTypedAddress = 0xC6336407;  // 198.51.100.7
constexpr uint32_t kTypedMask = 0xFFFFFF00;
constexpr uint32_t kTypedGateway = 0xC6336401;

std::string TextAt(const std::vector<uint8_t>& request, std::size_t offset, std::size_t width) {
  std::string text(reinterpret_cast<const char*>(request.data() + offset), width);
  return text.substr(0, text.find('\0'));
}

bool AllZero(const std::vector<uint8_t>& bytes, std::size_t from, std::size_t count) {
  for (std::size_t i = from; i < from + count; ++i)
    if (bytes.at(i) != 0) return false;
  return true;
}

// Switches the shown card to a fixed address and types it.
void TypeStaticAddress(ConsoleSession& console) {
  console.Press(console.main(), IDC_RB_STATIC);
  console.SetAddress(IDC_IPA_ADDRESS, kTypedAddress);
  console.SetAddress(IDC_IPA_MASK, kTypedMask);
  console.SetAddress(IDC_IPA_GATEWAY, kTypedGateway);
}

void ExpectStaticCardRequest(const std::vector<uint8_t>& request) {
  ASSERT_EQ(request.size(), 128u + 44u);
  EXPECT_EQ(LoadU32(request.data() + 12), Request::ApplySettings);
  const uint8_t* card = request.data() + 128;
  EXPECT_EQ(card[7], 0);  // dhcpEnabled
  EXPECT_EQ(LoadU32(card + 28), kChangeAll);
  EXPECT_EQ(LoadU32(card + 32), kTypedAddress);
  EXPECT_EQ(LoadU32(card + 36), kTypedMask);
  EXPECT_EQ(LoadU32(card + 40), kTypedGateway);
}

TEST(ApplyGui, DhcpToStaticSendsEveryChangeBitWithTheTypedAddress) {
  ConsoleSession console("apply static", kWindowsHost);
  ASSERT_TRUE(console.Start());
  ASSERT_TRUE(console.Discover());
  TypeStaticAddress(console);
  console.Click(IDC_BTN_APPLY);
  std::string user;
  ASSERT_TRUE(console.Verify("secret", &user));
  EXPECT_EQ(user, "Administrator");
  EXPECT_EQ(console.TakeMessage(), "Setting Succeeded!");

  const auto requests = console.Requests(Request::ApplySettings);
  ASSERT_EQ(requests.size(), 1u);
  ExpectStaticCardRequest(requests[0]);
  EXPECT_EQ(TextAt(requests[0], 24, 36), "Administrator");
  EXPECT_EQ(TextAt(requests[0], 60, 16), "secret");
  EXPECT_EQ(LoadU32(requests[0].data() + 76), 0x5F5E1000u);
  EXPECT_EQ(requests[0][80], 0);  // host name unchanged
  EXPECT_TRUE(console.Close());
}

TEST(ApplyGui, RefusedCredentialsKeepTheEditsAndApplyUsable) {
  ConsoleSession console("apply refused",
                         std::string(kWindowsHost) + "status 2 1\n");
  ASSERT_TRUE(console.Start());
  ASSERT_TRUE(console.Discover());
  TypeStaticAddress(console);
  console.Click(IDC_BTN_APPLY);
  ASSERT_TRUE(console.Verify("wrong"));
  EXPECT_EQ(console.TakeMessage(), "Unknown username or bad password");
  EXPECT_TRUE(console.WaitEnabled(IDC_BTN_APPLY));
  EXPECT_TRUE(console.Enabled(IDC_BTN_DISCOVER));

  // The stored record was not replaced by the reply: the same edit is sent again in full.
  console.Click(IDC_BTN_APPLY);
  ASSERT_TRUE(console.Verify("wrong again"));
  EXPECT_EQ(console.TakeMessage(), "Unknown username or bad password");
  const auto requests = console.Requests(Request::ApplySettings);
  ASSERT_EQ(requests.size(), 2u);
  ExpectStaticCardRequest(requests[1]);
  EXPECT_FALSE(console.LogContains("TVDoPolling"));
  EXPECT_TRUE(console.Close());
}

TEST(ApplyGui, TimedOutApplyKeepsTheStoredRecordSoTheEditIsSentAgain) {
  ConsoleSession console("apply timeout", std::string(kWindowsHost) + "status 2 3\n");
  ASSERT_TRUE(console.Start());
  ASSERT_TRUE(console.Discover());
  TypeStaticAddress(console);
  console.Click(IDC_BTN_APPLY);
  ASSERT_TRUE(console.Verify("pw"));
  EXPECT_EQ(console.TakeMessage(), "Receive response timed out");
  EXPECT_TRUE(console.WaitEnabled(IDC_BTN_APPLY));
  console.Click(IDC_BTN_APPLY);
  ASSERT_TRUE(console.Verify("pw"));
  console.TakeMessage();
  const auto requests = console.Requests(Request::ApplySettings);
  ASSERT_EQ(requests.size(), 2u);
  ExpectStaticCardRequest(requests[1]);
  EXPECT_TRUE(console.Close());
}

TEST(ApplyGui, SuccessKeepsTheActionButtonsDisabledUntilThePollEnds) {
  ConsoleSession console("apply poll", std::string(kWindowsHost) + "poll 1 800\n");
  ASSERT_TRUE(console.Start());
  ASSERT_TRUE(console.Discover());
  ASSERT_TRUE(console.Enabled(IDC_BTN_LAUNCH));
  console.Click(IDC_BTN_APPLY);
  ASSERT_TRUE(console.Verify("pw"));
  HWND box = console.WaitWindow("Netvane");
  ASSERT_NE(box, nullptr);
  // The poll runs while the confirmation is up.
  EXPECT_TRUE(console.LogContains("TVDoPolling"));
  EXPECT_FALSE(console.LogContains("TVDoWork code=9"));
  for (int id : {IDC_BTN_APPLY, IDC_BTN_DISCOVER, IDC_BTN_CHANGE_PASSWORD, IDC_BTN_LAUNCH})
    EXPECT_FALSE(console.Enabled(id)) << "control " << id;
  EXPECT_EQ(console.TakeMessage(), "Setting Succeeded!");
  ASSERT_TRUE(console.WaitLog("TVDoWork done code=9"));
  EXPECT_TRUE(console.WaitEnabled(IDC_BTN_DISCOVER, true, 1000)) << "late after the refresh";
  for (int id : {IDC_BTN_APPLY, IDC_BTN_DISCOVER, IDC_BTN_CHANGE_PASSWORD, IDC_BTN_LAUNCH})
    EXPECT_TRUE(console.Enabled(id)) << "control " << id;
  EXPECT_TRUE(console.Close());
}

TEST(ApplyGui, LinuxHostGetsNoUserNameAndA16CharacterPasswordFillsItsField) {
  ConsoleSession console("apply linux", kLinuxHost);
  ASSERT_TRUE(console.Start());
  ASSERT_TRUE(console.Discover());
  console.Click(IDC_BTN_APPLY);
  std::string user;
  bool readOnly = false;
  ASSERT_TRUE(console.Verify("ABCDEFGHIJKLMNOP", &user, &readOnly));
  EXPECT_EQ(user, "root");
  EXPECT_TRUE(readOnly);
  EXPECT_EQ(console.TakeMessage(), "Setting Succeeded!");
  const auto requests = console.Requests(Request::ApplySettings);
  ASSERT_EQ(requests.size(), 1u);
  EXPECT_TRUE(AllZero(requests[0], 24, 36));
  EXPECT_EQ(std::memcmp(requests[0].data() + 60, "ABCDEFGHIJKLMNOP", 16), 0);
  EXPECT_EQ(LoadU32(requests[0].data() + 76), 0x5F5E1000u);
  EXPECT_EQ(LoadU32(requests[0].data() + 128 + 28), 0u);  // nothing edited
  EXPECT_TRUE(console.Close());
}

TEST(ApplyGui, CancelledCredentialsSendNothing) {
  ConsoleSession console("apply cancel", kWindowsHost);
  ASSERT_TRUE(console.Start());
  ASSERT_TRUE(console.Discover());
  console.Click(IDC_BTN_APPLY);
  HWND dialog = console.WaitWindow("Verify Password");
  ASSERT_NE(dialog, nullptr);
  console.Post(dialog, IDCANCEL);
  ASSERT_TRUE(console.WaitGone(dialog));
  EXPECT_TRUE(console.WaitEnabled(IDC_BTN_APPLY));
  EXPECT_TRUE(console.Requests(Request::ApplySettings).empty());
  EXPECT_TRUE(console.Close());
}

}  // namespace
