#include "console/core/program_paths.h"

#include <gtest/gtest.h>

namespace {

TEST(ProgramPaths, FilesLieBesideTheProgram) {
  EXPECT_EQ(ConfigFilePath("C:\\Tools\\Netvane.exe"), "C:\\Tools\\Netvane.cfg");
  EXPECT_EQ(ConfigFilePath("Netvane.exe"), ".\\Netvane.cfg");
  EXPECT_EQ(HelpCommandLine("C:\\Program Files\\Orvane\\Netvane.exe"),
            "hh.exe \"C:\\Program Files\\Orvane\\Netvane.chm::/Index.htm\"");
}

TEST(ProgramPaths, PathsThatWouldNotFitAreRefusedRatherThanCut) {
  const std::string deep = "C:\\" + std::string(240, 'd') + "\\Netvane.exe";
  EXPECT_EQ(ConfigFilePath(deep).size(), 3 + 240 + 12u);
  const std::string deeper = "C:\\" + std::string(241, 'd') + "\\Netvane.exe";
  EXPECT_TRUE(ConfigFilePath(deeper).empty());
  EXPECT_FALSE(HelpCommandLine(deeper).empty());
  EXPECT_TRUE(HelpCommandLine("C:\\" + std::string(500, 'd') + "\\Netvane.exe").empty());
}

}  // namespace
