// Configure, "Netvane.cfg", About and help under Wine and Xvfb.
#include <gtest/gtest.h>

#include "console/gui/resource.h"
#include "console_session.h"
#include "protocol/byte_order.h"

namespace {

constexpr const char* kHost =
    "host name=SRV3 setup=4 answer=0\n"
    "nic mac=00:11:22:33:88:01 dhcp=1 ip=10.0.0.61 mask=255.255.255.0 gw=10.0.0.1\n";

void FillConfigure(ConsoleSession& console, HWND dialog, const char* discover, const char* set,
                   const char* retry) {
  console.SetText(dialog, IDC_EDT_DISCOVER_TIMEOUT, discover);
  console.SetText(dialog, IDC_EDT_SET_TIMEOUT, set);
  console.SetText(dialog, IDC_EDT_RETRY_COUNT, retry);
}

TEST(ConfigureGui, AcceptsTheLimitsAndRefusesBeyondThemInOrder) {
  ConsoleSession console("configure", kHost);
  ASSERT_TRUE(console.Start());
  console.Click(IDC_BTN_CONFIGURE);
  HWND dialog = console.WaitWindow("Configure");
  ASSERT_NE(dialog, nullptr);
  EXPECT_EQ(console.Text(dialog, IDC_EDT_DISCOVER_TIMEOUT), "5");
  EXPECT_EQ(console.Text(dialog, IDC_EDT_SET_TIMEOUT), "30");
  EXPECT_EQ(console.Text(dialog, IDC_EDT_RETRY_COUNT), "3");

  FillConfigure(console, dialog, "601", "", "11");
  console.Post(dialog, IDOK);
  EXPECT_EQ(console.TakeMessage(), "Please enter a positive integer.");
  FillConfigure(console, dialog, "601", "601", "11");
  console.Post(dialog, IDOK);
  EXPECT_EQ(console.TakeMessage(), "Discovering timeout should not be longer than 600 seconds.");
  console.SetText(dialog, IDC_EDT_DISCOVER_TIMEOUT, "600");
  console.Post(dialog, IDOK);
  EXPECT_EQ(console.TakeMessage(), "Setting timeout should not be longer than 600 seconds.");
  console.SetText(dialog, IDC_EDT_SET_TIMEOUT, "600");
  console.Post(dialog, IDOK);
  EXPECT_EQ(console.TakeMessage(), "Retry times should not be bigger than 10.");
  EXPECT_TRUE(IsWindowVisible(dialog));
  EXPECT_FALSE(console.LogContains("TVSetDiscoverTimeout"));
  console.SetText(dialog, IDC_EDT_RETRY_COUNT, "10");
  console.Post(dialog, IDOK);
  ASSERT_TRUE(console.WaitGone(dialog));
  EXPECT_TRUE(console.WaitLog("TVSetRetryCount 10"));
  EXPECT_TRUE(console.LogContains("TVSetDiscoverTimeout 600"));
  EXPECT_TRUE(console.LogContains("TVSetSetTimeout 600"));

  // Default fills the fields only; Cancel keeps what the transport has.
  console.Click(IDC_BTN_CONFIGURE);
  dialog = console.WaitWindow("Configure");
  ASSERT_NE(dialog, nullptr);
  EXPECT_EQ(console.Text(dialog, IDC_EDT_DISCOVER_TIMEOUT), "600");
  console.Press(dialog, IDC_BTN_DEFAULT);
  EXPECT_EQ(console.Text(dialog, IDC_EDT_DISCOVER_TIMEOUT), "5");
  EXPECT_EQ(console.Text(dialog, IDC_EDT_SET_TIMEOUT), "30");
  EXPECT_EQ(console.Text(dialog, IDC_EDT_RETRY_COUNT), "3");
  console.Post(dialog, IDCANCEL);
  ASSERT_TRUE(console.WaitGone(dialog));
  EXPECT_FALSE(console.LogContains("TVSetDiscoverTimeout 5"));
  EXPECT_TRUE(console.Close());
}

TEST(ConfigurationFileGui, SurvivesARestartAsExactly36Bytes) {
  ConsoleSession console("configuration file", kHost);
  const std::string file = console.folder() + "\\Netvane.cfg";
  // A stored width beyond 16 bits is applied as its low 16 bits.
  std::vector<uint8_t> seeded(36, 0);
  StoreU32(seeded.data() + 0, 7);
  StoreU32(seeded.data() + 4, 45);
  StoreU32(seeded.data() + 8, 2);
  StoreU32(seeded.data() + 12, 30);
  StoreU32(seeded.data() + 16, 70000);
  for (int column = 2; column < 6; ++column) StoreU32(seeded.data() + 12 + 4 * column, 50);
  WriteFileBytes(file, seeded);

  ASSERT_TRUE(console.Start());
  EXPECT_TRUE(console.LogContains("TVSetDiscoverTimeout 7"));
  EXPECT_TRUE(console.LogContains("TVSetSetTimeout 45"));
  EXPECT_TRUE(console.LogContains("TVSetRetryCount 2"));
  ASSERT_TRUE(console.Close());
  std::vector<uint8_t> saved = ReadFileBytes(file);
  ASSERT_EQ(saved.size(), 36u);
  EXPECT_EQ(LoadU32(saved.data() + 0), 7u);
  EXPECT_EQ(LoadU32(saved.data() + 4), 45u);
  EXPECT_EQ(LoadU32(saved.data() + 8), 2u);
  EXPECT_EQ(LoadU32(saved.data() + 16), 4464u);

  // The next run applies what this one saved.
  DeleteFileA((console.folder() + "\\fake.log").c_str());
  ASSERT_TRUE(console.Start());
  EXPECT_TRUE(console.LogContains("TVSetDiscoverTimeout 7"));
  ASSERT_TRUE(console.Close());
  EXPECT_EQ(ReadFileBytes(file), saved);
}

// A console installed where the user cannot write keeps his settings in his application
// data. Root under Wine may write anywhere; a folder in the file's place is a write (and
// read) failure that Wine produces for anyone.
TEST(ConfigurationFileGui, UnwritableProgramFolderKeepsTheUsersOwnCopy) {
  char appData[MAX_PATH] = {};
  ASSERT_GT(GetEnvironmentVariableA("APPDATA", appData, sizeof appData), 0u);
  const std::string userFolder = std::string(appData) + "\\Netvane";
  const std::string userCopy = userFolder + "\\Netvane.cfg";
  DeleteFileA(userCopy.c_str());
  RemoveDirectoryA(userFolder.c_str());

  ConsoleSession console("user configuration", kHost);
  const std::string beside = console.folder() + "\\Netvane.cfg";
  RemoveDirectoryA(beside.c_str());  // left by an earlier run that failed half-way
  ASSERT_TRUE(CreateDirectoryA(beside.c_str(), nullptr));
  ASSERT_TRUE(console.Start());
  EXPECT_FALSE(console.LogContains("TVSetDiscoverTimeout"));
  ASSERT_TRUE(console.Close());
  std::vector<uint8_t> saved = ReadFileBytes(userCopy);
  ASSERT_EQ(saved.size(), 36u);
  EXPECT_EQ(LoadU32(saved.data() + 0), 5u);

  // The next start reads the user's copy.
  StoreU32(saved.data() + 0, 17);
  WriteFileBytes(userCopy, saved);
  DeleteFileA((console.folder() + "\\fake.log").c_str());
  ASSERT_TRUE(console.Start());
  EXPECT_TRUE(console.LogContains("TVSetDiscoverTimeout 17"));
  ASSERT_TRUE(console.Close());

  // Once the file beside the program can be written, it is the one used again.
  RemoveDirectoryA(beside.c_str());
  std::vector<uint8_t> shipped(36, 0);
  StoreU32(shipped.data() + 0, 23);
  WriteFileBytes(beside, shipped);
  DeleteFileA((console.folder() + "\\fake.log").c_str());
  ASSERT_TRUE(console.Start());
  EXPECT_TRUE(console.LogContains("TVSetDiscoverTimeout 23"));
  EXPECT_FALSE(console.LogContains("TVSetDiscoverTimeout 17"));
  ASSERT_TRUE(console.Close());
  DeleteFileA(userCopy.c_str());
  RemoveDirectoryA(userFolder.c_str());
}

TEST(ConfigurationFileGui, ShortFileIsIgnoredAndReplacedAtClose) {
  ConsoleSession console("short configuration", kHost);
  const std::string file = console.folder() + "\\Netvane.cfg";
  std::vector<uint8_t> cut(35, 0);
  StoreU32(cut.data(), 9);
  WriteFileBytes(file, cut);
  ASSERT_TRUE(console.Start());
  EXPECT_FALSE(console.LogContains("TVSetDiscoverTimeout"));
  ASSERT_TRUE(console.Close());
  std::vector<uint8_t> saved = ReadFileBytes(file);
  ASSERT_EQ(saved.size(), 36u);
  EXPECT_EQ(LoadU32(saved.data() + 0), 5u);  // the transport's defaults
  EXPECT_EQ(LoadU32(saved.data() + 4), 30u);
  EXPECT_EQ(LoadU32(saved.data() + 8), 3u);
}

TEST(ConfigurationFileGui, StoredValuesBeyondIntReachTheTransportSaturated) {
  ConsoleSession console("huge configuration", kHost);
  std::vector<uint8_t> huge(36, 0);
  StoreU32(huge.data() + 0, 0xFFFFFFFFu);
  StoreU32(huge.data() + 4, 601);
  StoreU32(huge.data() + 8, 4000000000u);
  WriteFileBytes(console.folder() + "\\Netvane.cfg", huge);
  ASSERT_TRUE(console.Start());
  // Applied without the dialog's limits; the transport caps them itself.
  EXPECT_TRUE(console.LogContains("TVSetDiscoverTimeout 2147483647"));
  EXPECT_TRUE(console.LogContains("TVSetSetTimeout 601"));
  EXPECT_TRUE(console.LogContains("TVSetRetryCount 2147483647"));
  EXPECT_TRUE(console.Close());
}

TEST(HelpGui, MenuItemAndHelpCommandStartTheSameQuotedViewerCommand) {
  ConsoleSession console("help viewer", kHost);
  ASSERT_TRUE(console.Start());
  PostMessageA(console.main(), WM_SYSCOMMAND, IDM_HELP, 0);
  PostMessageA(console.main(), WM_COMMAND, ID_HELP_COMMAND, 0);
  const DWORD until = GetTickCount() + 10000;
  while (console.HelpLaunches().size() < 2 && GetTickCount() < until) Sleep(50);
  const auto launches = console.HelpLaunches();
  ASSERT_EQ(launches.size(), 2u);
  EXPECT_EQ(launches[0], launches[1]);
  // The run's folder has a blank in its name; the quotes keep the path whole.
  EXPECT_EQ(launches[0], "hh.exe \"" + console.folder() + "\\Netvane.chm::/Index.htm\"");
  EXPECT_TRUE(console.Close());
}

TEST(AboutGui, NoticeShowsFromItsFirstLineEachTime) {
  ConsoleSession console("about box", kHost);
  ASSERT_TRUE(console.Start());
  for (int round = 0; round < 2; ++round) {
    PostMessageA(console.main(), WM_SYSCOMMAND, IDM_ABOUTBOX, 0);
    HWND about = console.WaitWindow("About Netvane");
    ASSERT_NE(about, nullptr);
    const std::string notice = console.Text(about, IDC_EDT_ABOUT_NOTICE);
    EXPECT_EQ(notice.rfind("Copyright (C) ", 0), 0u) << notice;
    EXPECT_NE(notice.find("\r\n\r\n"), std::string::npos);
    EXPECT_NE(notice.find("libpcap"), std::string::npos);
    EXPECT_EQ(SendMessageA(GetDlgItem(about, IDC_EDT_ABOUT_NOTICE), EM_GETFIRSTVISIBLELINE, 0, 0), 0);
    SendMessageA(GetDlgItem(about, IDC_EDT_ABOUT_NOTICE), WM_VSCROLL, SB_BOTTOM, 0);
    console.Post(about, IDOK);
    ASSERT_TRUE(console.WaitGone(about));
  }
  EXPECT_TRUE(console.Close());
}

}  // namespace
