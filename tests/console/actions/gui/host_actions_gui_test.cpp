// Change Password, Teaming and Restart under Wine and Xvfb against the fake transport.
#include <gtest/gtest.h>

#include <cstring>

#include "console/gui/resource.h"
#include "console_session.h"
#include "protocol/frames.h"

namespace {

constexpr const char* kTeamedHost =
    "host name=SRV2 setup=4 os=1,1,2,1,5,2,3790,2,2 pending=1 magic=0x5F5E2000 answer=0\n"
    "nic mac=00:11:22:33:66:01 dhcp=1 ip=10.0.0.41 mask=255.255.255.0 gw=10.0.0.1 flags=0x30\n";

constexpr const char* kLinuxHost =
    "host name=LNX2 setup=4 os=1,2,1,0,9,0,0x02060000,0,0 static=1 magic=0x5F5E3000 answer=0\n"
    "nic mac=00:11:22:33:77:01 dhcp=0 ip=10.0.0.51 mask=255.255.255.0 gw=10.0.0.1\n";

TEST(TeamingGui, UnteamCaptionSendsCode5AndReportsUnteaming) {
  ConsoleSession console("unteam", kTeamedHost);
  ASSERT_TRUE(console.Start());
  ASSERT_TRUE(console.Discover());
  ASSERT_TRUE(console.Visible(IDC_BTN_TEAMING));
  ASSERT_EQ(console.Text(console.main(), IDC_BTN_TEAMING), "Unteam");
  console.Click(IDC_BTN_TEAMING);
  ASSERT_TRUE(console.Verify("pw"));
  EXPECT_EQ(console.TakeMessage(), "Unteaming Succeeded!");
  EXPECT_TRUE(console.Requests(Request::Team).empty());
  const auto requests = console.Requests(Request::Unteam);
  ASSERT_EQ(requests.size(), 1u);
  ASSERT_EQ(requests[0].size(), kShortRequestLength);
  EXPECT_EQ(std::string(reinterpret_cast<const char*>(requests[0].data() + 24)), "Administrator");
  EXPECT_EQ(LoadU32(requests[0].data() + 76), 0x5F5E2000u);
  EXPECT_TRUE(console.WaitLog("TVDoPolling"));
  EXPECT_TRUE(console.Close());
}

TEST(RestartGui, MessageComesBeforeThePoll) {
  ConsoleSession console("restart", kTeamedHost);
  ASSERT_TRUE(console.Start());
  ASSERT_TRUE(console.Discover());
  ASSERT_TRUE(console.Enabled(IDC_BTN_RESTART));
  console.Click(IDC_BTN_RESTART);
  ASSERT_TRUE(console.Verify("pw"));
  HWND box = console.WaitWindow("Netvane");
  ASSERT_NE(box, nullptr);
  Sleep(300);  // a poll started too early would be logged by now
  EXPECT_FALSE(console.LogContains("TVDoPolling"));
  EXPECT_EQ(console.TakeMessage(), "The host computer is now restarting!");
  EXPECT_TRUE(console.WaitLog("TVDoPolling"));
  const auto requests = console.Requests(Request::Restart);
  ASSERT_EQ(requests.size(), 1u);
  EXPECT_EQ(requests[0].size(), kShortRequestLength);
  EXPECT_TRUE(console.Close());
}

TEST(RestartGui, RefusalShowsItsMessageAndStartsNoPoll) {
  ConsoleSession console("restart refused", std::string(kTeamedHost) + "status 7 9\n");
  ASSERT_TRUE(console.Start());
  ASSERT_TRUE(console.Discover());
  console.Click(IDC_BTN_RESTART);
  ASSERT_TRUE(console.Verify("pw"));
  EXPECT_EQ(console.TakeMessage(), "Account has no administrator privilege");
  EXPECT_TRUE(console.WaitEnabled(IDC_BTN_RESTART));
  EXPECT_TRUE(console.WaitEnabled(IDC_BTN_APPLY));
  EXPECT_FALSE(console.LogContains("TVDoPolling"));
  EXPECT_TRUE(console.Close());
}

TEST(ChangePasswordGui, MismatchStaysOpenThenA116ByteRequestIsSent) {
  ConsoleSession console("change password", kLinuxHost);
  ASSERT_TRUE(console.Start());
  ASSERT_TRUE(console.Discover());
  console.Click(IDC_BTN_CHANGE_PASSWORD);
  HWND dialog = console.WaitWindow("Change Password");
  ASSERT_NE(dialog, nullptr);
  EXPECT_EQ(console.Text(dialog, IDC_EDT_CHANGE_USER), "root");
  EXPECT_FALSE(IsWindowEnabled(GetDlgItem(dialog, IDC_RB_CHANGE_RIDO)));  // no management port
  console.SetText(dialog, IDC_EDT_CHANGE_PASSWORD, "old");
  console.SetText(dialog, IDC_EDT_CHANGE_NEW, "NewSecret");
  console.SetText(dialog, IDC_EDT_CHANGE_CONFIRM, "newsecret");
  console.Post(dialog, IDOK);
  EXPECT_EQ(console.TakeMessage(), "Passwords do not match!");
  ASSERT_TRUE(IsWindowVisible(dialog));
  EXPECT_EQ(console.Text(dialog, IDC_EDT_CHANGE_NEW), "NewSecret");
  console.SetText(dialog, IDC_EDT_CHANGE_CONFIRM, "NewSecret");
  console.Post(dialog, IDOK);
  ASSERT_TRUE(console.WaitGone(dialog));
  EXPECT_EQ(console.TakeMessage(), "Setting Succeeded!");

  const auto requests = console.Requests(Request::ChangePassword);
  ASSERT_EQ(requests.size(), 1u);
  const std::vector<uint8_t>& r = requests[0];
  ASSERT_EQ(r.size(), kPasswordRequestLength);
  for (std::size_t i = 24; i < 60; ++i) EXPECT_EQ(r[i], 0) << "userName byte " << i;
  EXPECT_EQ(std::string(reinterpret_cast<const char*>(r.data() + 60)), "old");
  EXPECT_EQ(r[80], 0);  // the account typed
  EXPECT_EQ(std::memcmp(r.data() + 84, "NewSecret\0\0\0\0\0\0\0", 16), 0);
  EXPECT_EQ(std::memcmp(r.data() + 100, r.data() + 84, 16), 0);
  EXPECT_FALSE(console.LogContains("TVDoPolling"));  // no poll after a password change
  EXPECT_TRUE(console.Close());
}

}  // namespace
