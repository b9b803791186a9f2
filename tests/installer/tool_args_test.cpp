// Splitting and classifying the tool's command line.
#include "installer/tool_args.h"

#include <gtest/gtest.h>

#include <string>

namespace {

TEST(ToolArgs, CommandIgnoresCaseAndTakesTheDirectoryAsGiven) {
  ToolArgs args = ParseToolArgs("-INSTALL C:\\Tool\\");
  EXPECT_EQ(args.command, ToolCommand::Install);
  EXPECT_STREQ(args.first, L"-INSTALL");
  ASSERT_TRUE(args.hasDirectory);
  EXPECT_STREQ(args.directory, L"C:\\Tool\\");

  args = ParseToolArgs("-install C:\\Tool");
  EXPECT_EQ(args.command, ToolCommand::Install);
  EXPECT_STREQ(args.directory, L"C:\\Tool");

  EXPECT_EQ(ParseToolArgs("-Delete").command, ToolCommand::Delete);
  EXPECT_EQ(ParseToolArgs("-delete extra words").command, ToolCommand::Delete);
  EXPECT_EQ(ParseToolArgs("-FingerPrint").command, ToolCommand::Fingerprint);
}

TEST(ToolArgs, QuotedDirectoryFollowsTheSystemRules) {
  // A backslash before the closing quote must be doubled, as a script's caller does.
  ToolArgs args = ParseToolArgs("-install \"C:\\My Tool\\\\\"");
  EXPECT_STREQ(args.directory, L"C:\\My Tool\\");
  args = ParseToolArgs("\t\"-install\"   \"C:\\A B\\\\\"");
  EXPECT_EQ(args.command, ToolCommand::Install);
  EXPECT_STREQ(args.directory, L"C:\\A B\\");
}

TEST(ToolArgs, AnythingElseIsNoCommand) {
  for (const char* line : {"", "   ", "install C:\\Tool\\", "-installx C:\\", "/install C:\\",
                           "-del", "C:\\Tool\\ -install", "-fingerprints", "fingerprint"}) {
    SCOPED_TRACE(line);
    EXPECT_EQ(ParseToolArgs(line).command, ToolCommand::None);
  }
  EXPECT_EQ(ParseToolArgs(nullptr).command, ToolCommand::None);
  // A blank line must not turn into the program's own path as the first argument.
  EXPECT_STREQ(ParseToolArgs("").first, L"");
  EXPECT_FALSE(ParseToolArgs("-install").hasDirectory);
  EXPECT_FALSE(ParseToolArgs("-install   ").hasDirectory);
}

TEST(ToolArgs, LineLengthIsBoundedByTheBuffer) {
  const std::string prefix = "-install C:\\";
  std::string longest = prefix + std::string(1023 - prefix.size(), 'a');
  ToolArgs args = ParseToolArgs(longest.c_str());
  EXPECT_EQ(args.command, ToolCommand::Install);
  EXPECT_EQ(std::wstring(args.directory).size(), 1023 - std::string("-install ").size());

  // One character more does not fit: nothing is done rather than a cut directory used.
  longest += 'a';
  args = ParseToolArgs(longest.c_str());
  EXPECT_EQ(args.command, ToolCommand::None);
  EXPECT_FALSE(args.hasDirectory);
}

}  // namespace
