// Launch under Wine: the management address reaches the browser registered for the "http"
// protocol, or, when the shell cannot open it, the command registered for ".htm" files. The
// browser is the fake hh.exe under another name, registered in this test's own prefix.
#include <gtest/gtest.h>

#include "console/gui/resource.h"
#include "console_session.h"

namespace {

constexpr const char* kHost =
    "host name=SRV4 setup=4 os=1,1,2,1,5,2,3790,2,2 mgmt=1,2623,http://%A:%P/ answer=0\n"
    "nic mac=00:11:22:33:99:01 dhcp=1 ip=10.0.0.71 mask=255.255.255.0 gw=10.0.0.1\n";

// A class registration of this test's own prefix, put back as it was at the end.
class ClassRegistration {
 public:
  ClassRegistration(const std::string& key, const std::string& value) : key_(key) {
    HKEY handle = nullptr;
    if (RegOpenKeyExA(HKEY_CLASSES_ROOT, key.c_str(), 0, KEY_QUERY_VALUE, &handle) ==
        ERROR_SUCCESS) {
      char old[1024] = {};
      DWORD size = sizeof old - 1;
      existed_ = RegQueryValueExA(handle, nullptr, nullptr, nullptr,
                                  reinterpret_cast<BYTE*>(old), &size) == ERROR_SUCCESS;
      old_ = old;
      RegCloseKey(handle);
    }
    Set(value);
  }
  ~ClassRegistration() {
    if (existed_) Set(old_);
    else RegDeleteKeyA(HKEY_CLASSES_ROOT, key_.c_str());
  }
  ClassRegistration(const ClassRegistration&) = delete;
  ClassRegistration& operator=(const ClassRegistration&) = delete;

 private:
  void Set(const std::string& value) {
    HKEY handle = nullptr;
    if (RegCreateKeyExA(HKEY_CLASSES_ROOT, key_.c_str(), 0, nullptr, 0, KEY_SET_VALUE, nullptr,
                        &handle, nullptr) != ERROR_SUCCESS)
      return;
    RegSetValueExA(handle, nullptr, 0, REG_SZ, reinterpret_cast<const BYTE*>(value.c_str()),
                   static_cast<DWORD>(value.size() + 1));
    RegCloseKey(handle);
  }

  std::string key_;
  bool existed_ = false;
  std::string old_;
};

std::vector<std::string> WaitLaunches(const ConsoleSession& console) {
  const DWORD until = GetTickCount() + 10000;
  while (console.HelpLaunches().empty() && GetTickCount() < until) Sleep(50);
  Sleep(200);
  return console.HelpLaunches();
}

TEST(LaunchGui, OpensTheManagementAddressThroughTheShell) {
  ConsoleSession console("launch shell", kHost);
  const std::string browser = console.folder() + "\\web.exe";
  CopyFileA((console.folder() + "\\hh.exe").c_str(), browser.c_str(), FALSE);
  ClassRegistration http("http\\shell\\open\\command", "\"" + browser + "\" \"%1\"");
  ASSERT_TRUE(console.Start());
  ASSERT_TRUE(console.Discover());
  ASSERT_TRUE(console.Enabled(IDC_BTN_LAUNCH));
  EXPECT_EQ(console.Text(console.main(), IDC_BTN_LAUNCH), "Launch RIDO");
  console.Click(IDC_BTN_LAUNCH);
  const auto launches = WaitLaunches(console);
  ASSERT_EQ(launches.size(), 1u);
  EXPECT_NE(launches[0].find("http://10.0.0.71:2623/"), std::string::npos) << launches[0];
  for (uint32_t code = 2; code <= 9; ++code)  // nothing goes to the agent
    EXPECT_TRUE(console.Requests(code).empty()) << "code " << code;
  EXPECT_TRUE(console.Close());
}

TEST(LaunchGui, FallsBackToTheHtmCommandWithTheAddressAsItsLastArgument) {
  ConsoleSession console("launch fallback", kHost);
  const std::string browser = console.folder() + "\\web.exe";
  CopyFileA((console.folder() + "\\hh.exe").c_str(), browser.c_str(), FALSE);
  // The shell's handler for http does not exist, so the shell fails.
  ClassRegistration http("http\\shell\\open\\command",
                         "\"" + console.folder() + "\\missing.exe\" \"%1\"");
  ClassRegistration htm(".htm", "NetvaneTestPage");
  ClassRegistration page("NetvaneTestPage\\shell\\open\\command",
                         "\"" + browser + "\" -new \"%1\" -tail");
  ASSERT_TRUE(console.Start());
  ASSERT_TRUE(console.Discover());
  console.Click(IDC_BTN_LAUNCH);
  const auto launches = WaitLaunches(console);
  ASSERT_EQ(launches.size(), 1u);
  // Cut at the quoted placeholder (the blank before it stays), then a blank and the address
  // as one quoted argument.
  EXPECT_EQ(launches[0], "\"" + browser + "\" -new  \"http://10.0.0.71:2623/\"");
  EXPECT_TRUE(console.Close());
}

// A record from a hostile station names a program on a share: nothing is started, the user
// is told why.
TEST(LaunchGui, RefusesATemplateThatIsNoWebAddress) {
  const std::string host =
      "host name=SRV4 setup=4 os=1,1,2,1,5,2,3790,2,2 mgmt=2,2623,\\\\%A\\s\\x.exe answer=0\n"
      "nic mac=00:11:22:33:99:01 dhcp=1 ip=10.0.0.71 mask=255.255.255.0 gw=10.0.0.1\n";
  ConsoleSession console("launch refused", host);
  const std::string browser = console.folder() + "\\web.exe";
  CopyFileA((console.folder() + "\\hh.exe").c_str(), browser.c_str(), FALSE);
  ClassRegistration htm(".htm", "NetvaneTestPage");
  ClassRegistration page("NetvaneTestPage\\shell\\open\\command", "\"" + browser + "\" \"%1\"");
  ASSERT_TRUE(console.Start());
  ASSERT_TRUE(console.Discover());
  ASSERT_TRUE(console.Enabled(IDC_BTN_LAUNCH));
  console.Click(IDC_BTN_LAUNCH);
  EXPECT_EQ(console.TakeMessage(),
            "Launch refused, the management address is not a plain http or https page");
  Sleep(500);
  EXPECT_TRUE(console.HelpLaunches().empty());
  EXPECT_TRUE(console.Close());
}

}  // namespace
