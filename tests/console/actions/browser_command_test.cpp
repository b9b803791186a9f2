#include "console/core/browser_command.h"

#include <gtest/gtest.h>

namespace {

bool ShiftJisLead(unsigned char c) { return (c >= 0x81 && c <= 0x9F) || (c >= 0xE0 && c <= 0xFC); }

TEST(BrowserFallbackCommand, QuotedPlaceholderIsCutAtItsOpeningQuote) {
  EXPECT_EQ(BrowserFallbackCommand("\"C:\\Program Files\\Web\\web.exe\" -nohome \"%1\"",
                                   "http://10.0.0.5:80/"),
            "\"C:\\Program Files\\Web\\web.exe\" -nohome  \"http://10.0.0.5:80/\"");
}

TEST(BrowserFallbackCommand, BarePlaceholderOrNoneAtAll) {
  EXPECT_EQ(BrowserFallbackCommand("web.exe %1 -x", "u"), "web.exe  \"u\"");
  EXPECT_EQ(BrowserFallbackCommand("web.exe -new", "u"), "web.exe -new \"u\"");
  EXPECT_EQ(BrowserFallbackCommand("", "u"), " \"u\"");
}

TEST(BrowserFallbackCommand, AddressThatCouldLeaveItsQuotesIsNotRun) {
  // Each of these would split the address into further arguments of the browser.
  for (const char* url : {"http://h/\" --load-extension=x", "http://h/\\", "http://h/\r\nx",
                          "http://h/\tx", "http://h/\x7f"}) {
    EXPECT_EQ(BrowserFallbackCommand("web.exe \"%1\"", url), "") << url;
  }
}

TEST(BrowserFallbackCommand, QuotedPlaceholderWinsOverAnEarlierBareOne) {
  EXPECT_EQ(CutAtArgumentPlaceholder("a%1b \"%1\""), "a%1b ");
}

TEST(CutAtArgumentPlaceholder, TrailByteIsNotTakenForPercent) {
  // 0x81 0x25 is one two-byte character whose trail byte equals '%'.
  const std::string command = "web\x81%1.exe %1";
  EXPECT_EQ(CutAtArgumentPlaceholder(command, ShiftJisLead), "web\x81%1.exe ");
  EXPECT_EQ(CutAtArgumentPlaceholder(command), "web\x81");
}

TEST(CutAtArgumentPlaceholder, StopsAtAnEmbeddedNul) {
  const std::string command = std::string("web.exe") + '\0' + " \"%1\"";
  EXPECT_EQ(CutAtArgumentPlaceholder(command), "web.exe");
}

}  // namespace
