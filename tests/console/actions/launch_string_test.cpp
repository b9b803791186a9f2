#include "console/core/launch_string.h"

#include <gtest/gtest.h>

#include <string>

namespace {

constexpr uint32_t kAddress = 0xC0A80A05;  // 192.168.10.5

TEST(SubstituteLaunchString, FillsAddressAndPort) {
  EXPECT_EQ(SubstituteLaunchString("http://%A:%P/", kAddress, 2623),
            "http://192.168.10.5:2623/");
}

TEST(SubstituteLaunchString, FillsOnlyThePlaceholdersPresent) {
  EXPECT_EQ(SubstituteLaunchString("http://%A/index", kAddress, 80), "http://192.168.10.5/index");
  EXPECT_EQ(SubstituteLaunchString("http://mgmt:%P", kAddress, 65535), "http://mgmt:65535");
  EXPECT_EQ(SubstituteLaunchString("http://fixed.example/", kAddress, 1),
            "http://fixed.example/");
  EXPECT_EQ(SubstituteLaunchString("", kAddress, 1), "");
}

TEST(SubstituteLaunchString, ReplacesOnlyTheFirstOfEach) {
  EXPECT_EQ(SubstituteLaunchString("%A-%A:%P%P", kAddress, 8),
            "192.168.10.5-%A:8%P");
}

TEST(SubstituteLaunchString, PortBeforeAddressKeepsTheOrderOfTheTemplate) {
  EXPECT_EQ(SubstituteLaunchString("x%Py%Az", kAddress, 81), "x81y192.168.10.5z");
}

TEST(SubstituteLaunchString, UnterminatedTemplateIsCutAt35Characters) {
  const std::string full(36, 'a');  // a 36-byte field with no NUL
  EXPECT_EQ(SubstituteLaunchString(full, kAddress, 1), std::string(35, 'a'));
  const std::string withNul = std::string("ab%A") + '\0' + "%P";
  EXPECT_EQ(SubstituteLaunchString(withNul, kAddress, 1), "ab192.168.10.5");
}

TEST(SubstituteLaunchString, ResultNeverExceedsItsBuffer) {
  const std::string big = "%A%P" + std::string(31, 'z');
  const std::string result = SubstituteLaunchString(big, 0xFFFFFFFF, 65535);
  EXPECT_LE(result.size(), kLaunchAddressMaxChars);
  EXPECT_EQ(result.substr(0, 20), "255.255.255.25565535");
}

}  // namespace
