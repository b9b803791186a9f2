#include "console/core/password_presets.h"

#include <gtest/gtest.h>

namespace {

TEST(PasswordPresets, OsLabelKeepsNineCharacters) {
  EXPECT_EQ(OsLabelText("Win2003 R2 S"), "Win2003 R");
  EXPECT_EQ(OsLabelText("Linux"), "Linux");
}

TEST(PasswordPresets, UserNameFollowsTheOsFamily) {
  EXPECT_STREQ(UserNamePresetFor(1).text, "Administrator");
  EXPECT_FALSE(UserNamePresetFor(1).readOnly);
  EXPECT_STREQ(UserNamePresetFor(2).text, "root");
  EXPECT_TRUE(UserNamePresetFor(2).readOnly);
  EXPECT_STREQ(UserNamePresetFor(0).text, "");
  EXPECT_FALSE(UserNamePresetFor(0).readOnly);
}

}  // namespace
