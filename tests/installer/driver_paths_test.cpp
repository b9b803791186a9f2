// Path building and the choice of the driver file.
#include <gtest/gtest.h>

#include <string>

#include "installer/driver_file.h"
#include "installer/text_buffer.h"

namespace {

TEST(JoinText, ConcatenatesPlainlyAndRefusesWhatDoesNotFit) {
  TextBuffer out;
  ASSERT_TRUE(JoinText(out, {L"C:\\Tool", L"TaviAgent.exe"}));
  EXPECT_STREQ(out, L"C:\\ToolTaviAgent.exe");

  wchar_t small[6];
  EXPECT_TRUE(JoinText(small, 6, {L"ab", L"cde"}));  // five characters and the NUL
  EXPECT_STREQ(small, L"abcde");
  EXPECT_FALSE(JoinText(small, 6, {L"abc", L"def"}));
  EXPECT_STREQ(small, L"");
  EXPECT_FALSE(JoinText(small, 0, {L""}));

  const std::wstring directory(1024 - 13, L'd');  // leaves no room for the NUL
  EXPECT_FALSE(JoinText(out, {directory.c_str(), L"TaviAgent.exe"}));
  EXPECT_TRUE(JoinText(out, {directory.c_str() + 1, L"TaviAgent.exe"}));
}

TEST(DriverFile, SixtyFourBitDriverFollowsTheNativeProcessor) {
  EXPECT_STREQ(Driver64SourceName(PROCESSOR_ARCHITECTURE_AMD64), L"npfAMD64.sys");
  EXPECT_STREQ(Driver64SourceName(PROCESSOR_ARCHITECTURE_IA64), L"npfIA64.sys");
  EXPECT_EQ(Driver64SourceName(PROCESSOR_ARCHITECTURE_INTEL), nullptr);
  EXPECT_EQ(Driver64SourceName(12 /* ARM64 */), nullptr);
  EXPECT_STREQ(kDriver32SourceName, L"npfNT32.sys");
}

TEST(DriverFile, SixtyFourBitProgramSeesSixtyFourBitWindows) {
  // IsWow64Process says FALSE here, yet only 64-bit Windows runs this program.
  EXPECT_EQ(IsWindows64Bit(), sizeof(void*) == 8);
}

}  // namespace
