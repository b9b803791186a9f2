// The host-key questions under Wine and Xvfb: the fake transport reports a scripted key state
// per host and logs TVTrustHostKey(Ex); "sent" means handed to TVDoWork, which the fake logs with
// the request's bytes.
#include <gtest/gtest.h>

#include <string>

#include "console/gui/resource.h"
#include "console_session.h"
#include "protocol/frames.h"

namespace {

constexpr const char* kPresented =
    "9F3A 0C11 22B4 7E01 0000 FFFF 1234 ABCD 5678 90EF 0A0B 0C0D 0E0F 1011 1213 1415";
constexpr const char* kPresentedLines =
    "9F3A 0C11 22B4 7E01 0000 FFFF 1234 ABCD\r\n5678 90EF 0A0B 0C0D 0E0F 1011 1213 1415";
constexpr const char* kPinned =
    "0001 0203 0405 0607 0809 0A0B 0C0D 0E0F 1011 1213 1415 1617 1819 1A1B 1C1D 1E1F";
constexpr const char* kPinnedLines =
    "0001 0203 0405 0607 0809 0A0B 0C0D 0E0F\r\n1011 1213 1415 1617 1819 1A1B 1C1D 1E1F";

// A Windows host with a rename pending, so that Restart Computer is usable.
std::string HostWithKey(const std::string& keyLine) {
  return "host name=SRV1 setup=4 os=1,1,2,1,5,2,3790,2,2 pending=1 magic=0x5F5E1000 answer=0\n"
         "nic mac=00:11:22:33:44:01 dhcp=1 ip=10.0.0.21 mask=255.255.255.0 gw=10.0.0.1\n" +
         keyLine + "\n";
}

std::string UnknownKey() { return HostWithKey(std::string("key state=unknown fp=\"") + kPresented + "\""); }
std::string ChangedKey() {
  return HostWithKey(std::string("key state=changed fp=\"") + kPresented + "\" pinned=\"" +
                     kPinned + "\"");
}

// The pin names the fingerprint the dialog showed.
const std::string kTrustLogLine = std::string("TVTrustHostKeyEx 00:11:22:33:44:01 SRV1 ") + kPresented;

TEST(HostKeyGui, UnknownKeyYesPinsItAndTheRequestGoesThenNoMoreQuestions) {
  ConsoleSession console("key unknown yes", UnknownKey());
  ASSERT_TRUE(console.Start());
  EXPECT_TRUE(console.LogContains("TVSetTrustPrompting 1"));
  ASSERT_TRUE(console.Discover());
  EXPECT_EQ(console.Text(console.main(), IDC_EDT_HOST_KEY),
            std::string(kPresentedLines) + "  (not trusted yet)");

  console.Click(IDC_BTN_RESTART);
  HWND ask = console.WaitWindow("Unknown Host Key");
  ASSERT_NE(ask, nullptr) << console.WindowTitles();
  EXPECT_EQ(console.Text(ask, IDC_EDT_KEY_HOST), "SRV1");
  EXPECT_EQ(console.Text(ask, IDC_EDT_KEY_FINGERPRINT), kPresentedLines);
  EXPECT_TRUE(console.Requests(Request::Restart).empty());  // nothing goes while it asks
  console.Post(ask, IDYES);
  ASSERT_TRUE(console.WaitGone(ask));
  ASSERT_TRUE(console.Verify("pw"));
  EXPECT_EQ(console.TakeMessage(), "The host computer is now restarting!");
  EXPECT_TRUE(console.LogContains(kTrustLogLine));
  EXPECT_EQ(console.Requests(Request::Restart).size(), 1u);

  // Pinned now: the next authenticated request asks for the password only.
  ASSERT_TRUE(console.WaitEnabled(IDC_BTN_CHANGE_PASSWORD));
  console.Click(IDC_BTN_CHANGE_PASSWORD);
  HWND change = console.WaitWindow("Change Password");
  ASSERT_NE(change, nullptr) << console.WindowTitles();
  EXPECT_EQ(console.WaitWindow("Unknown Host Key", 0), nullptr);
  console.Post(change, IDCANCEL);
  EXPECT_TRUE(console.Close());
}

TEST(HostKeyGui, UnknownKeyNoSendsNothingAndAsksForNoPassword) {
  ConsoleSession console("key unknown no", UnknownKey());
  ASSERT_TRUE(console.Start());
  ASSERT_TRUE(console.Discover());
  console.Press(console.main(), IDC_RB_STATIC);
  console.SetAddress(IDC_IPA_ADDRESS, 0xC6336407);
  console.Click(IDC_BTN_APPLY);
  HWND ask = console.WaitWindow("Unknown Host Key");
  ASSERT_NE(ask, nullptr) << console.WindowTitles();
  console.Post(ask, IDNO);
  ASSERT_TRUE(console.WaitGone(ask));
  EXPECT_TRUE(console.WaitEnabled(IDC_BTN_APPLY));
  EXPECT_EQ(console.WaitWindow("Verify Password", 300), nullptr);
  EXPECT_TRUE(console.Requests(Request::ApplySettings).empty());
  EXPECT_FALSE(console.LogContains("TVTrustHostKey"));
  EXPECT_FALSE(console.LogContains("TVDoWork code=2"));
  EXPECT_TRUE(console.Close());
}

TEST(HostKeyGui, ChangedKeyIsRefusedWithBothFingerprintsAndNothingSent) {
  ConsoleSession console("key changed", ChangedKey());
  ASSERT_TRUE(console.Start());
  ASSERT_TRUE(console.Discover());
  EXPECT_EQ(console.Text(console.main(), IDC_EDT_HOST_KEY),
            std::string(kPresentedLines) + "  (CHANGED: not the pinned key)");
  console.Click(IDC_BTN_CHANGE_PASSWORD);
  HWND refused = console.WaitWindow("Host Key Changed");
  ASSERT_NE(refused, nullptr) << console.WindowTitles();
  EXPECT_EQ(console.Text(refused, IDC_EDT_KEY_HOST), "SRV1");
  EXPECT_EQ(console.Text(refused, IDC_EDT_KEY_PINNED), kPinnedLines);
  EXPECT_EQ(console.Text(refused, IDC_EDT_KEY_FINGERPRINT), kPresentedLines);
  console.Post(refused, IDCANCEL);
  ASSERT_TRUE(console.WaitGone(refused));
  EXPECT_TRUE(console.WaitEnabled(IDC_BTN_CHANGE_PASSWORD));
  EXPECT_EQ(console.WaitWindow("Change Password", 300), nullptr);
  EXPECT_TRUE(console.Requests(Request::ChangePassword).empty());
  EXPECT_FALSE(console.LogContains("TVTrustHostKey"));
  EXPECT_TRUE(console.Close());
}

TEST(HostKeyGui, ChangedKeyIsReplacedOnlyAfterASecondYes) {
  ConsoleSession console("key replace", ChangedKey());
  ASSERT_TRUE(console.Start());
  ASSERT_TRUE(console.Discover());
  console.Click(IDC_BTN_RESTART);
  HWND refused = console.WaitWindow("Host Key Changed");
  ASSERT_NE(refused, nullptr) << console.WindowTitles();

  // The confirmation's default answer keeps the pinned key and the question open.
  console.Post(refused, IDC_BTN_KEY_REPLACE);
  HWND confirm = console.WaitWindow("Netvane");
  ASSERT_NE(confirm, nullptr);
  EXPECT_NE(console.Text(confirm, 0xFFFF).find("pinned for SRV1"), std::string::npos);
  console.Post(confirm, IDNO);
  ASSERT_TRUE(console.WaitGone(confirm));
  ASSERT_TRUE(IsWindowVisible(refused));
  EXPECT_FALSE(console.LogContains("TVTrustHostKey"));

  console.Post(refused, IDC_BTN_KEY_REPLACE);
  confirm = console.WaitWindow("Netvane");
  ASSERT_NE(confirm, nullptr);
  console.Post(confirm, IDYES);
  ASSERT_TRUE(console.WaitGone(refused));
  ASSERT_TRUE(console.Verify("pw"));
  EXPECT_EQ(console.TakeMessage(), "The host computer is now restarting!");
  EXPECT_TRUE(console.LogContains(kTrustLogLine));
  EXPECT_EQ(console.Requests(Request::Restart).size(), 1u);
  EXPECT_TRUE(console.Close());
}

TEST(HostKeyGui, HostWithoutAVerifiedKeyGetsTheNotTrustedMessage) {
  ConsoleSession console("key none", HostWithKey("key state=none"));
  ASSERT_TRUE(console.Start());
  ASSERT_TRUE(console.Discover());
  EXPECT_EQ(console.Text(console.main(), IDC_EDT_HOST_KEY), "No verified key seen yet");
  console.Click(IDC_BTN_RESTART);
  EXPECT_EQ(console.TakeMessage(), "Host key not trusted, nothing was sent to the host");
  EXPECT_TRUE(console.WaitEnabled(IDC_BTN_RESTART));
  EXPECT_TRUE(console.Requests(Request::Restart).empty());
  EXPECT_TRUE(console.Close());
}

TEST(HostKeyGui, KeyThatArrivedWhileTheDialogWasOpenIsNotPinnedAndNothingIsSent) {
  // The library verified another key for this MAC after the dialog took its fingerprint.
  ConsoleSession console("key changed since shown",
                         HostWithKey(std::string("key state=unknown fp=\"") + kPresented +
                                     "\" seen=\"" + kPinned + "\""));
  ASSERT_TRUE(console.Start());
  ASSERT_TRUE(console.Discover());
  console.Click(IDC_BTN_RESTART);
  HWND ask = console.WaitWindow("Unknown Host Key");
  ASSERT_NE(ask, nullptr) << console.WindowTitles();
  console.Post(ask, IDYES);
  ASSERT_TRUE(console.WaitGone(ask));
  EXPECT_EQ(console.TakeMessage(), "Host key changed since it was shown, no key was pinned");
  EXPECT_TRUE(console.LogContains(kTrustLogLine));
  EXPECT_TRUE(console.WaitEnabled(IDC_BTN_RESTART));
  EXPECT_EQ(console.WaitWindow("Verify Password", 300), nullptr);
  EXPECT_TRUE(console.Requests(Request::Restart).empty());
  EXPECT_TRUE(console.Close());
}

TEST(HostKeyGui, UnreadableTrustStoreRefusesWithTheBadLineAndAsksNothing) {
  ConsoleSession console("key store unreadable",
                         HostWithKey(std::string("key state=unreadable fp=\"") + kPresented +
                                     "\" problem=\"line 3 of known_agents is not a pinned key\""));
  ASSERT_TRUE(console.Start());
  ASSERT_TRUE(console.Discover());
  EXPECT_EQ(console.Text(console.main(), IDC_EDT_HOST_KEY),
            std::string(kPresentedLines) + "  (trust store unreadable: nothing is trusted)");
  console.Click(IDC_BTN_CHANGE_PASSWORD);
  EXPECT_EQ(console.TakeMessage(),
            "Trust store can not be read, no key was pinned and nothing was sent to the host:\r\n"
            "line 3 of known_agents is not a pinned key");
  EXPECT_TRUE(console.WaitEnabled(IDC_BTN_CHANGE_PASSWORD));
  EXPECT_EQ(console.WaitWindow("Unknown Host Key", 0), nullptr);
  EXPECT_EQ(console.WaitWindow("Change Password", 300), nullptr);
  EXPECT_FALSE(console.LogContains("TVTrustHostKey"));
  EXPECT_TRUE(console.Close());
}

}  // namespace
