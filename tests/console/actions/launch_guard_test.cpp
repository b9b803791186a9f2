// Launch templates as a hostile station on the segment would write them: each must be refused
// before the shell sees it, and what passes must reach the browser as one argument.
#include "console/core/launch_guard.h"

#include <gtest/gtest.h>

#include <string>

#include "console/core/browser_command.h"
#include "console/core/launch_string.h"

namespace {

constexpr uint32_t kHost = 0xC0A80A05;  // 192.168.10.5
constexpr uint16_t kPort = 2623;

LaunchRefusal CheckTemplate(const std::string& launchTemplate) {
  return CheckLaunchAddress(SubstituteLaunchString(launchTemplate, kHost, kPort), kHost);
}

TEST(CheckLaunchAddress, PlainPagesOnTheHostOrANamedServerOpen) {
  for (const char* ok : {"http://%A:%P/", "https://%A/", "HTTP://%A:%P/index.htm?x=1#top",
                         "http://%A", "http://mgmt-01.example.net:%P/", "https://MGMT/"}) {
    EXPECT_EQ(CheckTemplate(ok), LaunchRefusal::None) << ok;
  }
}

TEST(CheckLaunchAddress, PathsAndOtherSchemesAreNotWebAddresses) {
  for (const char* hostile :
       {"\\\\%A\\share\\x.exe", "//%A/share/x.exe", "file:///C:/Windows/system32/calc.exe",
        "file://%A/share/x.exe", "search-ms:query=x&crumb=location:\\\\%A\\s",
        "ms-settings:", "javascript:alert(1)", "ftp://%A/", "C:\\x.exe", "calc.exe",
        "http:%A", "http:/%A", "http:\\\\%A\\x", " http://%A/", ""}) {
    EXPECT_EQ(CheckTemplate(hostile), LaunchRefusal::NotWebAddress) << hostile;
  }
}

TEST(CheckLaunchAddress, BlanksQuotesAndControlCharactersAreRefused) {
  for (const char* hostile :
       {"http://%A/ --incognito", "http://%A/\" --load-extension=\\\\x", "http://%A/'x",
        "http://%A/\tx", "http://%A/\r\nx", "http://%A/a\\b", "http://%A/`x`", "http://%A/\x7f",
        "http://%A/\xe9", "http://%A/%P \"x\""}) {
    EXPECT_EQ(CheckTemplate(hostile), LaunchRefusal::UnsafeCharacter) << hostile;
  }
}

TEST(CheckLaunchAddress, HostMustBeTheHostsAddressOrAPlainName) {
  for (const char* hostile :
       {"http://10.9.9.9/", "http://%A.10/", "http://%A@evil.example/", "http://u:p@%A/",
        "http://[::1]/", "http:///x", "http://:%P/", "http://-x.example/", "http://x..y/",
        "http://x_y/", "http://2130706433/", "http://0x7f.1/", "http://x.example./"}) {
    EXPECT_EQ(CheckTemplate(hostile), LaunchRefusal::HostNotAllowed) << hostile;
  }
  // The dotted form of an address other than the one substituted is no name.
  EXPECT_EQ(CheckLaunchAddress("http://192.168.10.6/", kHost), LaunchRefusal::HostNotAllowed);
  // No address known: nothing numeric passes, not even 0.0.0.0.
  EXPECT_EQ(CheckLaunchAddress("http://0.0.0.0/", 0), LaunchRefusal::HostNotAllowed);
  EXPECT_EQ(CheckLaunchAddress(std::string("http://") + std::string(64, 'a') + "/", kHost),
            LaunchRefusal::HostNotAllowed);
}

TEST(CheckLaunchAddress, PortMustBeANumberInRange) {
  for (const char* hostile : {"http://%A:0/", "http://%A:65536/", "http://%A:/", "http://%A:8a/",
                              "http://%A:%P:%P/", "http://%A:123456/"}) {
    EXPECT_EQ(CheckTemplate(hostile), LaunchRefusal::BadPort) << hostile;
  }
  EXPECT_EQ(CheckLaunchAddress("http://192.168.10.5:65535/", kHost), LaunchRefusal::None);
}

TEST(CheckLaunchAddress, EveryRefusalHasAReason) {
  EXPECT_STREQ(LaunchRefusalText(LaunchRefusal::None), "");
  for (LaunchRefusal r : {LaunchRefusal::NotWebAddress, LaunchRefusal::UnsafeCharacter,
                          LaunchRefusal::HostNotAllowed, LaunchRefusal::BadPort}) {
    EXPECT_STRNE(LaunchRefusalText(r), "");
  }
}

// A host whose shell cannot open the page: the address that passed the guard goes to the
// registered browser command as one quoted argument, after everything the command had.
TEST(CheckLaunchAddress, AllowedAddressReachesTheFallbackAsOneArgument) {
  const std::string url = SubstituteLaunchString("https://%A:%P/a?b=c&d#e", kHost, kPort);
  ASSERT_EQ(CheckLaunchAddress(url, kHost), LaunchRefusal::None);
  EXPECT_EQ(BrowserFallbackCommand("\"C:\\Web\\web.exe\" -osint -url \"%1\"", url),
            "\"C:\\Web\\web.exe\" -osint -url  \"https://192.168.10.5:2623/a?b=c&d#e\"");
}

}  // namespace
