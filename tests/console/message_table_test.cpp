#include "console/core/message_table.h"

#include <gtest/gtest.h>

#include <map>
#include <string>

#include "protocol/frames.h"

namespace {

// The texts themselves are checked where they are shown (the GUI, nvctl and end-to-end tests);
// here the table's rules: every agent refusal and every console code has a text of its own
// (a case lost or pasted twice shows), and every other code reads "Unknown error".
TEST(MessageText, KnownCodesHaveTextsOfTheirOwnAndEveryOtherCodeIsUnknown) {
  std::map<std::string, unsigned> owner;
  for (unsigned code = 0; code <= 0x1FFFF; ++code) {
    const std::string text = MessageText(code);
    ASSERT_FALSE(text.empty()) << code;
    if (text == "Unknown error") continue;
    EXPECT_TRUE(owner.emplace(text, code).second) << code << " and " << owner[text] << ": " << text;
    EXPECT_TRUE((code >= 1 && code <= Status::RestartFailed) ||
                (code >= Status::FirstConsoleCode && code <= Status::TrustStoreNotWritten))
        << code << " outside the agent's and the console's codes";
  }
  for (unsigned code = Status::AccountLockedOut; code <= Status::RestartFailed; ++code)
    EXPECT_NE(std::string(MessageText(code)), "Unknown error") << code;
  for (unsigned code = Status::FirstConsoleCode; code <= Status::TrustStoreNotWritten; ++code)
    EXPECT_NE(std::string(MessageText(code)), "Unknown error") << code;
  for (unsigned code : {0u, 5u, 6u, 10u, 16u, 10000u, 0xFFFFFFFFu})
    EXPECT_STREQ(MessageText(code), "Unknown error") << code;
}

TEST(MessageText, FloodedCountTakesSingularAndPlural) {
  EXPECT_EQ(FloodedText(1), "1 reply could not be checked: the segment is flooded");
  EXPECT_EQ(FloodedText(4096), "4096 replies could not be checked: the segment is flooded");
}

}  // namespace
