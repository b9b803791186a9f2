// What a user sees of the main window, the host list, the details panel and the wait dialog,
// with Netvane.exe running against the fake transport in a folder of its own.
#include <windows.h>
#include <commctrl.h>
#include <dbt.h>

#include <gtest/gtest.h>

#include <cstddef>
#include <cstdlib>
#include <cstring>
#include <string>
#include <thread>

#include "console/gui/resource.h"
#include "console_driver.h"

namespace {

using namespace driver;

constexpr const char* kCaption = "Netvane";  // message boxes carry the program's name

// Three Windows hosts answering on adapter 0, arriving in the order ALPHA (setupState 4),
// beta (0), GAMMA (2). ALPHA has a DHCP adapter and a static one; beta is static with DNS
// set by hand.
const char* const kThreeHosts = R"(
host name=ALPHA model=X1000 setup=4 os=1,1,2,1,5,2,3790,2,2 mgmt=1,2623,http://%A:%P/ dns=198.51.100.53 static=0 pending=1
nic mac=02:00:00:00:01:01 dhcp=1 ip=198.51.100.11 mask=255.255.255.0 gw=198.51.100.1
nic mac=02:00:00:00:01:02 dhcp=0 ip=198.51.100.12 mask=255.255.255.0 gw=198.51.100.1
host name=beta model=R200 setup=0 os=1,1,2,0,5,1,2600,2,0 mgmt=0,0 dns=198.51.100.54 static=1
nic mac=02:00:00:00:02:01 dhcp=0 ip=10.0.0.5 mask=255.0.0.0 gw=10.0.0.1
host name=GAMMA model=T5 setup=2 os=1,2,0,0,9,0,0x0814141C,2,0
nic mac=02:00:00:00:03:01 dhcp=1 ip=192.168.0.7 mask=255.255.255.0 gw=192.168.0.1
)";

std::string Artifacts() {
  const char* dir = std::getenv("NETVANE_ARTIFACTS");
  return dir ? WindowsPath(dir) : std::string();
}

// Each test runs the console from a fresh copy of the program folder, removed afterwards.
class MainWindow : public ::testing::Test {
 protected:
  void SetUp() override {
    const ::testing::TestInfo* info = ::testing::UnitTest::GetInstance()->current_test_info();
    folder_ = WindowsPath(NETVANE_GUI_RUN_DIR) + "\\" + info->name();
    CreateDirectoryA(WindowsPath(NETVANE_GUI_RUN_DIR).c_str(), nullptr);
    CreateDirectoryA(folder_.c_str(), nullptr);
    for (const char* file : {"Netvane.exe", "TaviClient.dll"}) {
      std::string from = WindowsPath(NETVANE_GUI_APP_DIR) + "\\" + file;
      ASSERT_TRUE(CopyFileA(from.c_str(), (folder_ + "\\" + file).c_str(), FALSE)) << from;
    }
  }
  void TearDown() override {
    console_.reset();
    for (const char* file : {"Netvane.exe", "TaviClient.dll", "hosts.txt", "fake.log", "Netvane.cfg"}) {
      DeleteFileA((folder_ + "\\" + file).c_str());
    }
    RemoveDirectoryA(folder_.c_str());
  }

  Console& Run(const std::string& script) {
    console_ = std::make_unique<Console>(folder_, script);
    EXPECT_TRUE(console_->Start()) << "no main window";
    return *console_;
  }
  HWND List() const { return GetDlgItem(console_->main(), IDC_LST_HOSTS); }
  std::string Row(int row) const { return ListText(List(), row, 1); }
  // Apply with a password, through to its confirmation.
  void ApplyConfirmed() const {
    PostClick(console_->main(), IDC_BTN_APPLY);
    HWND verify = WaitTopWindow("Verify Password", console_->pid());
    ASSERT_NE(verify, nullptr);
    SetText(verify, 1017, "secret");
    PostClick(verify, IDOK);
    EXPECT_EQ(TakeMessageBox(kCaption, console_->pid()), "Setting Succeeded!");
  }
  void WaitRowOrder(const std::string& first, DWORD timeoutMs = 5000) const {
    EXPECT_TRUE(WaitFor([&] { return Row(0) == first; }, timeoutMs)) << "first row " << Row(0);
  }

  std::string folder_;
  std::unique_ptr<Console> console_;
};

TEST_F(MainWindow, DiscoverFillsTheSortedListSelectsRowZeroAndFillsThePanel) {
  Console& console = Run(kThreeHosts);
  HWND main = console.main();
  EXPECT_EQ(ListRowCount(List()), 0);  // nothing is discovered at start
  EXPECT_FALSE(Enabled(main, IDC_BTN_APPLY));
  EXPECT_EQ(HeaderImage(List(), 0), 0);
  ASSERT_TRUE(console.Discover());

  ASSERT_EQ(ListRowCount(List()), 3);
  // By setupState: beta (0), GAMMA (2), ALPHA (4), each with its status disc.
  EXPECT_EQ(Row(0), "beta");
  EXPECT_EQ(Row(1), "GAMMA");
  EXPECT_EQ(Row(2), "ALPHA");
  EXPECT_EQ(ListImage(List(), 0), 2);
  EXPECT_EQ(ListImage(List(), 1), 4);
  EXPECT_EQ(ListImage(List(), 2), 5);
  EXPECT_EQ(ListText(List(), 2, 2), "X1000");
  EXPECT_EQ(ListText(List(), 2, 3), "Win2003");
  EXPECT_EQ(ListText(List(), 1, 3), "Linux");
  EXPECT_EQ(ListText(List(), 2, 4), "2");
  EXPECT_EQ(ListText(List(), 2, 5), "198.51.100.11/NIC1");
  EXPECT_EQ(ListSelectedRow(List()), 0);
  EXPECT_EQ(HeaderImage(List(), 0), 0);  // the header keeps its mark

  // The panel shows beta, adapter 0: static address, DNS by hand.
  EXPECT_EQ(Text(main, IDC_EDT_HOST_NAME), "beta");
  EXPECT_EQ(Text(main, IDC_EDT_OS_NAME), "Windows XP Professional SP2");
  EXPECT_EQ(Text(main, IDC_EDT_OS_VERSION), "2600");
  EXPECT_EQ(Text(main, IDC_EDT_PORT), "0");
  EXPECT_EQ(Text(main, IDC_TXT_PORT_LABEL), "Mgmt Port:");
  EXPECT_EQ(Text(main, IDC_EDT_INTERFACE), "NIC1");
  EXPECT_EQ(ComboCount(main, IDC_CMB_MAC), 1);
  EXPECT_EQ(Text(main, IDC_CMB_MAC), "02:00:00:00:02:01");
  EXPECT_TRUE(Checked(main, IDC_RB_STATIC));
  EXPECT_EQ(Text(main, IDC_IPA_ADDRESS), "10.0.0.5");
  EXPECT_EQ(Text(main, IDC_IPA_MASK), "255.0.0.0");
  EXPECT_EQ(Text(main, IDC_IPA_GATEWAY), "10.0.0.1");
  EXPECT_TRUE(Checked(main, IDC_RB_DNS_MANUAL));
  EXPECT_EQ(Text(main, IDC_IPA_DNS), "198.51.100.54");
  EXPECT_TRUE(Enabled(main, IDC_BTN_APPLY));
  EXPECT_TRUE(Enabled(main, IDC_BTN_CHANGE_PASSWORD));
  EXPECT_FALSE(Enabled(main, IDC_BTN_LAUNCH));   // no management port
  EXPECT_FALSE(Enabled(main, IDC_BTN_RESTART));  // no name change pending
  EXPECT_FALSE(Visible(main, IDC_BTN_TEAMING));

  // One discovery request on adapter 0, addressed to everyone.
  EXPECT_EQ(console.LogCount("TVDoWork code=1 adapter=0 bytes=00000000ffffffffffff000001000000"), 1);
  if (!Artifacts().empty()) SaveWindowShot(main, Artifacts() + "\\main-window-hosts.bmp");
  EXPECT_TRUE(console.Close());
  EXPECT_EQ(console.LogCount("TVCleanup"), 1);
}

TEST_F(MainWindow, RowClicksAndHeaderClicksSortWithTriangles) {
  Console& console = Run(kThreeHosts);
  HWND main = console.main();
  ASSERT_TRUE(console.Discover());
  ASSERT_EQ(ListRowCount(List()), 3);

  ClickRow(List(), 2);
  ASSERT_TRUE(WaitFor([&] { return Text(main, IDC_EDT_HOST_NAME) == "ALPHA"; }));
  EXPECT_EQ(Text(main, IDC_BTN_LAUNCH), "Launch RIDO");
  EXPECT_EQ(Text(main, IDC_TXT_PORT_LABEL), "RIDO Port:");
  EXPECT_EQ(Text(main, IDC_EDT_PORT), "2623");
  EXPECT_TRUE(Enabled(main, IDC_BTN_LAUNCH));
  EXPECT_TRUE(Enabled(main, IDC_BTN_RESTART));
  EXPECT_EQ(Text(main, IDC_EDT_OS_NAME), "Windows Server 2003 SP2");
  EXPECT_EQ(ComboCount(main, IDC_CMB_MAC), 2);

  ClickHeader(List(), 1);  // Host, ascending: byte order puts upper case first
  WaitRowOrder("ALPHA");
  EXPECT_EQ(Row(1), "GAMMA");
  EXPECT_EQ(Row(2), "beta");
  EXPECT_EQ(HeaderImage(List(), 1), 0);
  EXPECT_EQ(HeaderImage(List(), 0), -1);
  ClickHeader(List(), 1);  // again: descending
  WaitRowOrder("beta");
  EXPECT_EQ(Row(2), "ALPHA");
  EXPECT_EQ(HeaderImage(List(), 1), 1);
  ClickHeader(List(), 5);  // IP: 10.0.0.5 < 192.168.0.7 < 198.51.100.11
  WaitRowOrder("beta");
  EXPECT_EQ(Row(1), "GAMMA");
  EXPECT_EQ(Row(2), "ALPHA");
  EXPECT_EQ(HeaderImage(List(), 1), -1);
  EXPECT_EQ(HeaderImage(List(), 5), 0);
  // The selection follows its host, not its position.
  EXPECT_EQ(Text(main, IDC_EDT_HOST_NAME), "ALPHA");
  EXPECT_TRUE(console.Close());
}

TEST_F(MainWindow, ArrowKeysMoveTheSelectionAndStopAtTheEnds) {
  Console& console = Run(kThreeHosts);
  HWND main = console.main();
  ASSERT_TRUE(console.Discover());
  ASSERT_EQ(ListRowCount(List()), 3);

  PostKey(List(), VK_UP);  // first row: nothing above
  Sleep(200);
  EXPECT_EQ(Text(main, IDC_EDT_HOST_NAME), "beta");
  PostKey(List(), VK_DOWN);
  ASSERT_TRUE(WaitFor([&] { return Text(main, IDC_EDT_HOST_NAME) == "GAMMA"; }));
  EXPECT_EQ(Text(main, IDC_EDT_OS_NAME), "9.0 ");  // Linux without a distribution
  EXPECT_EQ(Text(main, IDC_EDT_OS_VERSION), "28.20.20-8 SMP ");
  EXPECT_FALSE(Enabled(main, IDC_BTN_RESTART));
  PostKey(List(), VK_DOWN);
  ASSERT_TRUE(WaitFor([&] { return Text(main, IDC_EDT_HOST_NAME) == "ALPHA"; }));
  EXPECT_TRUE(WaitFor([&] { return ListSelectedRow(List()) == 2; }));
  PostKey(List(), VK_DOWN);  // last row: nothing below
  Sleep(200);
  EXPECT_EQ(Text(main, IDC_EDT_HOST_NAME), "ALPHA");
  EXPECT_TRUE(console.Close());
}

TEST_F(MainWindow, DhcpStaticAndDnsButtonsEnableAndClearTheFields) {
  Console& console = Run(kThreeHosts);
  HWND main = console.main();
  ASSERT_TRUE(console.Discover());
  ClickRow(List(), 2);  // ALPHA: adapter 0 on DHCP, DNS automatic
  ASSERT_TRUE(WaitFor([&] { return Text(main, IDC_EDT_HOST_NAME) == "ALPHA"; }));

  EXPECT_TRUE(Checked(main, IDC_RB_DHCP));
  EXPECT_FALSE(Checked(main, IDC_RB_STATIC));
  for (int id : {IDC_IPA_ADDRESS, IDC_IPA_MASK, IDC_IPA_GATEWAY}) EXPECT_FALSE(Enabled(main, id)) << id;
  EXPECT_EQ(Text(main, IDC_IPA_ADDRESS), "198.51.100.11");
  EXPECT_EQ(Text(main, IDC_IPA_MASK), "255.255.255.0");
  EXPECT_TRUE(Checked(main, IDC_RB_DNS_AUTO));
  EXPECT_FALSE(Checked(main, IDC_RB_DNS_MANUAL));
  EXPECT_FALSE(Enabled(main, IDC_IPA_DNS));
  EXPECT_TRUE(Enabled(main, IDC_RB_DNS_AUTO));

  SendClick(main, IDC_RB_STATIC);  // a new fixed address is to be typed
  EXPECT_TRUE(Enabled(main, IDC_IPA_ADDRESS));
  EXPECT_FALSE(Checked(main, IDC_RB_DHCP));
  EXPECT_TRUE(AddressBlank(main, IDC_IPA_ADDRESS));
  EXPECT_EQ(Text(main, IDC_IPA_MASK), "255.255.255.0");
  EXPECT_TRUE(Enabled(main, IDC_IPA_GATEWAY));
  EXPECT_EQ(Text(main, IDC_IPA_GATEWAY), "198.51.100.1");
  EXPECT_TRUE(Checked(main, IDC_RB_DNS_MANUAL));
  EXPECT_FALSE(Checked(main, IDC_RB_DNS_AUTO));
  EXPECT_FALSE(Enabled(main, IDC_RB_DNS_AUTO));
  EXPECT_TRUE(Enabled(main, IDC_IPA_DNS));
  EXPECT_EQ(Text(main, IDC_IPA_DNS), "198.51.100.53");

  SendClick(main, IDC_RB_DHCP);  // back: fields disabled again, DNS mode now by hand
  EXPECT_FALSE(Enabled(main, IDC_IPA_ADDRESS));
  EXPECT_EQ(Text(main, IDC_IPA_ADDRESS), "198.51.100.11");
  EXPECT_TRUE(Enabled(main, IDC_RB_DNS_AUTO));
  EXPECT_TRUE(Checked(main, IDC_RB_DNS_MANUAL));
  SendClick(main, IDC_RB_DNS_AUTO);
  EXPECT_FALSE(Enabled(main, IDC_IPA_DNS));
  EXPECT_FALSE(Checked(main, IDC_RB_DNS_MANUAL));

  // The second adapter is static: its own address is shown for editing.
  ChooseComboEntry(main, IDC_CMB_MAC, 1);
  EXPECT_EQ(Text(main, IDC_EDT_INTERFACE), "NIC2");
  EXPECT_TRUE(Checked(main, IDC_RB_STATIC));
  EXPECT_EQ(Text(main, IDC_IPA_ADDRESS), "198.51.100.12");
  EXPECT_TRUE(console.Close());
}

TEST_F(MainWindow, LinuxHostWithAnotherDhcpAdapterKeepsGatewayAndDnsFromDhcp) {
  Console& console = Run(R"(
host name=tux model=Box setup=1 os=1,2,1,0,9,0,0x08140402,2,0 dns=198.51.100.53 static=0
nic mac=02:00:00:00:05:01 dhcp=1 ip=198.51.100.21 mask=255.255.255.0 gw=198.51.100.1
nic mac=02:00:00:00:05:02 dhcp=1 ip=198.51.100.22 mask=255.255.255.0 gw=198.51.100.1
)");
  HWND main = console.main();
  ASSERT_TRUE(console.Discover());
  EXPECT_EQ(Text(main, IDC_EDT_OS_NAME), "Red Hat 9.0 ");
  EXPECT_EQ(Text(main, IDC_EDT_OS_VERSION), "2.4.20-8 SMP ");
  SendClick(main, IDC_RB_STATIC);
  EXPECT_TRUE(Enabled(main, IDC_IPA_ADDRESS));
  EXPECT_FALSE(Enabled(main, IDC_IPA_GATEWAY));
  EXPECT_TRUE(AddressBlank(main, IDC_IPA_GATEWAY));
  EXPECT_FALSE(Enabled(main, IDC_IPA_DNS));
  EXPECT_FALSE(Checked(main, IDC_RB_DNS_AUTO));
  EXPECT_FALSE(Checked(main, IDC_RB_DNS_MANUAL));
  EXPECT_TRUE(console.Close());
}

TEST_F(MainWindow, OneCharacterHostNameIsRefusedOnceAndKeepsTheFocus) {
  Console& console = Run(kThreeHosts);
  HWND main = console.main();
  ASSERT_TRUE(console.Discover());
  HWND name = GetDlgItem(main, IDC_EDT_HOST_NAME);
  PostMouseClick(name, 5, 5);
  ASSERT_TRUE(WaitFor([&] { return FocusOf(main) == name; }));
  SetText(main, IDC_EDT_HOST_NAME, "b");
  HWND port = GetDlgItem(main, IDC_EDT_OS_NAME);
  PostMouseClick(port, 5, 5);  // leave the field
  EXPECT_EQ(TakeMessageBox(kCaption, console.pid()), "Hostname can not be less than 2 letters");
  EXPECT_TRUE(WaitFor([&] { return FocusOf(main) == name; }));
  Sleep(300);
  EXPECT_EQ(FindMessageBox(kCaption, console.pid()), nullptr) << "shown twice";
  EXPECT_EQ(Text(main, IDC_EDT_HOST_NAME), "b");  // the text stays as typed
  EXPECT_TRUE(console.Close());
}

TEST_F(MainWindow, EnterInTheHostNameFieldDiscoversWithoutAHostNameWarning) {
  Console& console = Run(kThreeHosts);
  HWND main = console.main();
  ASSERT_TRUE(console.Discover());
  HWND name = GetDlgItem(main, IDC_EDT_HOST_NAME);
  PostMouseClick(name, 5, 5);
  ASSERT_TRUE(WaitFor([&] { return FocusOf(main) == name; }));
  // Enter presses the default button, Discover, which empties and disables the panel while
  // the field still has the focus: that is the program's clearing, not a short name typed.
  PostKey(name, VK_RETURN);
  bool warned = false;
  const bool discovered = WaitFor([&] {
    if (HWND box = FindMessageBox(kCaption, console.pid())) {
      warned = MessageBoxText(box) == "Hostname can not be less than 2 letters";
      PostMessageA(box, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), 0);
      if (warned) return true;
    }
    return console.LogCount("TVDoWork code=1") == 2 && Enabled(main, IDC_BTN_DISCOVER) &&
           FindTopWindow("Please wait", console.pid()) == nullptr;
  });
  EXPECT_FALSE(warned) << "message 10003 during a discovery";
  ASSERT_TRUE(discovered);
  Sleep(300);
  EXPECT_EQ(FindMessageBox(kCaption, console.pid()), nullptr);
  EXPECT_EQ(Row(0), "beta");  // the discovery ran to its end and selected row 0
  EXPECT_EQ(Text(main, IDC_EDT_HOST_NAME), "beta");
  EXPECT_TRUE(console.Close());
}

TEST_F(MainWindow, NoConnectedAdapterReportsAdapterOpenFailed) {
  Console& console = Run("adapters 2 0,0\n");
  ASSERT_TRUE(console.Discover());
  EXPECT_EQ(TakeMessageBox(kCaption, console.pid()), "Open adapter card failed");
  EXPECT_EQ(console.LogCount("TVDoWork"), 0);
  EXPECT_TRUE(WaitFor([&] { return Enabled(console.main(), IDC_BTN_DISCOVER); }));
  EXPECT_TRUE(console.Close());
}

TEST_F(MainWindow, SecondAdapterFailingKeepsTheRowsUnselected) {
  Console& console = Run(std::string("adapters 2\nwork-adapter 1 0\n") + kThreeHosts);
  HWND main = console.main();
  ASSERT_TRUE(console.Discover());
  EXPECT_EQ(TakeMessageBox(kCaption, console.pid()), "Open adapter card failed");
  ASSERT_EQ(ListRowCount(List()), 3);
  EXPECT_EQ(Row(0), "ALPHA");  // arrival order, not sorted
  EXPECT_EQ(ListSelectedRow(List()), -1);
  EXPECT_FALSE(Enabled(main, IDC_RB_DHCP));
  ClickRow(List(), 1);
  ASSERT_TRUE(WaitFor([&] { return Text(main, IDC_EDT_HOST_NAME) == "beta"; }));
  EXPECT_TRUE(Enabled(main, IDC_BTN_APPLY));
  EXPECT_FALSE(Enabled(main, IDC_CMB_MAC));
  EXPECT_TRUE(console.Close());
}

TEST_F(MainWindow, NoHostAnsweringReportsNoServerFound) {
  Console& console = Run("adapters 1\n");
  ASSERT_TRUE(console.Discover());
  EXPECT_EQ(TakeMessageBox(kCaption, console.pid()), "Can not find any Orvane server");
  EXPECT_EQ(ListRowCount(List()), 0);
  EXPECT_TRUE(console.Close());
}

TEST_F(MainWindow, WaitDialogAnimatesIgnoresEnterAndEscapeAndCancelStopsDiscovery) {
  Console& console = Run(std::string("delay 1 20000\n") + kThreeHosts);
  PostClick(console.main(), IDC_BTN_DISCOVER);
  HWND wait = WaitTopWindow("Please wait", console.pid());
  ASSERT_NE(wait, nullptr);
  EXPECT_TRUE(Visible(wait, IDC_BTN_WAIT_CANCEL));
  EXPECT_FALSE(Enabled(console.main(), IDC_BTN_DISCOVER));
  ASSERT_TRUE(WaitFor([&] { return ListRowCount(List()) == 3; }));  // rows arrive meanwhile
  PostMessageA(wait, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), 0);
  PostMessageA(wait, WM_COMMAND, MAKEWPARAM(IDCANCEL, BN_CLICKED), 0);
  PostMessageA(wait, WM_CLOSE, 0, 0);
  Sleep(400);
  EXPECT_TRUE(IsWindowVisible(wait));
  if (!Artifacts().empty()) {
    SaveWindowShot(wait, Artifacts() + "\\wait-dialog.bmp");
    Sleep(350);  // five animation steps later the square has moved
    SaveWindowShot(wait, Artifacts() + "\\wait-dialog-later.bmp");
  }
  PostClick(wait, IDC_BTN_WAIT_CANCEL);
  ASSERT_TRUE(WaitGone(wait, 5000));
  EXPECT_TRUE(WaitFor([&] { return Enabled(console.main(), IDC_BTN_DISCOVER); }));
  EXPECT_EQ(console.LogCount("TVCancel"), 1);
  EXPECT_EQ(console.LogCount("TVDoWork done code=1 result=1 cancelled"), 1);
  // Cancelled with rows: they are sorted and the first is shown; no message.
  EXPECT_EQ(Row(0), "beta");
  EXPECT_EQ(ListSelectedRow(List()), 0);
  EXPECT_EQ(FindMessageBox(kCaption, console.pid()), nullptr);
  EXPECT_TRUE(console.Close());
}

TEST_F(MainWindow, PollAnimatesTheRowAndTheRefreshRewritesItInPlace) {
  // After a successful Apply the host is polled (3 s) and then refreshed: it now reports one
  // adapter, another name and setupState 1.
  Console& console = Run(R"(
poll 1 3000
host name=ALPHA model=X1000 setup=4 os=1,1,2,1,5,2,3790,2,2 dns=198.51.100.53
nic mac=02:00:00:00:01:01 dhcp=1 ip=198.51.100.11 mask=255.255.255.0 gw=198.51.100.1
nic mac=02:00:00:00:01:02 dhcp=0 ip=198.51.100.12 mask=255.255.255.0 gw=198.51.100.1
refresh nics=1 name=ALPHA2 setup=1
)");
  HWND main = console.main();
  ASSERT_TRUE(console.Discover());
  ChooseComboEntry(main, IDC_CMB_MAC, 1);  // the panel shows adapter 1, which will vanish
  ASSERT_EQ(Text(main, IDC_EDT_INTERFACE), "NIC2");

  ASSERT_NO_FATAL_FAILURE(ApplyConfirmed());

  // While the poll runs: gear frames, and no second request can start.
  EXPECT_TRUE(WaitFor([&] { int image = ListImage(List(), 0); return image >= 6 && image <= 9; }, 2000));
  const int first = ListImage(List(), 0);
  EXPECT_TRUE(WaitFor([&] { return ListImage(List(), 0) != first && ListImage(List(), 0) >= 6; }, 1500))
      << "the animation did not advance";
  EXPECT_FALSE(Enabled(main, IDC_BTN_DISCOVER));
  EXPECT_FALSE(Enabled(main, IDC_BTN_APPLY));

  ASSERT_TRUE(WaitFor([&] { return Row(0) == "ALPHA2"; }, 10000));
  EXPECT_EQ(ListText(List(), 0, 4), "1");
  EXPECT_EQ(ListText(List(), 0, 5), "198.51.100.11/NIC1");
  EXPECT_EQ(ListText(List(), 0, 2), "X1000");
  EXPECT_EQ(ListImage(List(), 0), 3);
  EXPECT_TRUE(WaitFor([&] { return Enabled(main, IDC_BTN_DISCOVER); }));
  EXPECT_TRUE(Enabled(main, IDC_BTN_APPLY));
  // The panel follows the refresh; adapter 1 is gone, so adapter 0 is shown.
  EXPECT_EQ(Text(main, IDC_EDT_HOST_NAME), "ALPHA2");
  EXPECT_EQ(ComboCount(main, IDC_CMB_MAC), 1);
  EXPECT_EQ(ComboSelection(main, IDC_CMB_MAC), 0);
  EXPECT_EQ(Text(main, IDC_EDT_INTERFACE), "NIC1");
  EXPECT_EQ(console.LogCount("TVDoPolling"), 1);
  // The refresh is addressed like the host's stored reply and carries its magic number in
  // the reply buffer only: the request's own field stays zero.
  EXPECT_EQ(console.LogCount("TVDoWork code=9 adapter=0 bytes=00000000020000000101000009000000"), 1);
  EXPECT_TRUE(console.Close());
}

TEST_F(MainWindow, ButtonsStayDisabledUntilThePollsRefreshHasEnded) {
  // The poll answers at once; the refresh that follows takes 3 s. A user must not be able to
  // edit and Apply in that gap, since the refresh then overwrites the panel. The refresh
  // reports a rename waiting for a restart, which Restart Computer must then offer.
  Console& console = Run(R"(
poll 1 0
delay 9 3000
host name=ALPHA model=X1000 setup=4 os=1,1,2,1,5,2,3790,2,2 mgmt=1,2623,http://%A:%P/ dns=198.51.100.53
nic mac=02:00:00:00:01:01 dhcp=1 ip=198.51.100.11 mask=255.255.255.0 gw=198.51.100.1
refresh name=ALPHA2 setup=1 pending=1
)");
  HWND main = console.main();
  ASSERT_TRUE(console.Discover());
  EXPECT_FALSE(Enabled(main, IDC_BTN_RESTART));
  ASSERT_NO_FATAL_FAILURE(ApplyConfirmed());

  ASSERT_TRUE(WaitFor([&] { return console.LogCount("TVDoWork code=9") == 1; }));
  Sleep(500);  // the poll has been answered; its refresh is still running
  EXPECT_EQ(Row(0), "ALPHA");
  EXPECT_FALSE(Enabled(main, IDC_BTN_APPLY)) << "Apply came back before the refresh";
  EXPECT_FALSE(Enabled(main, IDC_BTN_CHANGE_PASSWORD));
  EXPECT_FALSE(Enabled(main, IDC_BTN_LAUNCH));
  EXPECT_FALSE(Enabled(main, IDC_BTN_DISCOVER));
  EXPECT_FALSE(Enabled(main, IDC_BTN_RESTART));

  ASSERT_TRUE(WaitFor([&] { return Row(0) == "ALPHA2"; }, 10000));
  EXPECT_TRUE(WaitFor([&] { return Enabled(main, IDC_BTN_APPLY); }));
  EXPECT_TRUE(Enabled(main, IDC_BTN_RESTART)) << "the refreshed record has a rename pending";
  EXPECT_TRUE(Enabled(main, IDC_BTN_CHANGE_PASSWORD));
  EXPECT_TRUE(Enabled(main, IDC_BTN_LAUNCH));
  EXPECT_TRUE(Enabled(main, IDC_BTN_DISCOVER));
  EXPECT_EQ(Text(main, IDC_EDT_HOST_NAME), "ALPHA2");
  EXPECT_TRUE(console.Close());
}

TEST_F(MainWindow, ClosingWhileAPollRunsEndsCleanly) {
  Console& console = Run(R"(
poll 1 2000
host name=ALPHA setup=4
nic mac=02:00:00:00:01:01 dhcp=1 ip=198.51.100.11 mask=255.255.255.0 gw=198.51.100.1
)");
  ASSERT_TRUE(console.Discover());
  ASSERT_NO_FATAL_FAILURE(ApplyConfirmed());
  ASSERT_TRUE(WaitFor([&] { return console.LogCount("TVDoPolling") == 1; }));
  // The rows and the working copy go while the poll still runs; it must leave them alone.
  ASSERT_TRUE(console.Close());
  EXPECT_EQ(console.ExitCode(), 0u);
  EXPECT_EQ(console.LogCount("TVDoWork code=9"), 0);
}

TEST_F(MainWindow, EnterDoesNotCloseAndASecondStartRaisesTheFirstWindow) {
  Console& first = Run(kThreeHosts);
  PostMessageA(first.main(), WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), 0);
  // Asked again until it takes: on a loaded machine the first request can come before the
  // window manager has settled the freshly shown window.
  ASSERT_TRUE(WaitFor([&] {
    ShowWindow(first.main(), SW_MINIMIZE);
    return IsIconic(first.main()) != FALSE;
  }));
  Console second(folder_, kThreeHosts, false);
  ASSERT_TRUE(second.Launch());
  ASSERT_TRUE(second.WaitExit(10000));
  EXPECT_EQ(second.ExitCode(), 0u);
  EXPECT_TRUE(WaitFor([&] { return !IsIconic(first.main()); }));
  EXPECT_TRUE(IsWindow(first.main()));
  // Only the first instance ever started the transport.
  EXPECT_EQ(first.LogCount("TVInitialize"), 1);
  EXPECT_TRUE(first.Close());
}

TEST_F(MainWindow, TransportStartFailureShowsItsCodeAndEnds) {
  console_ = std::make_unique<Console>(folder_, "init 10001\n");
  ASSERT_TRUE(console_->Launch());
  EXPECT_EQ(TakeMessageBox(kCaption, console_->pid(), 15000), "Loading driver failed");
  ASSERT_TRUE(console_->WaitExit(10000));
  EXPECT_EQ(FindTopWindow("Orvane Network Utility 1.8", console_->pid()), nullptr);
  EXPECT_EQ(console_->LogCount("TVCleanup"), 0);
}

// What a window that registered for GUID_DEVINTERFACE_NET receives when an adapter comes
// or goes.
struct InterfaceEvent {
  DEV_BROADCAST_DEVICEINTERFACE_A header;
  char rest[64];
};
InterfaceEvent Interface(const GUID& classGuid) {
  InterfaceEvent event = {};
  static const char kName[] = "\\\\?\\ROOT#NET#0001#{cac88484-7515-4c03-82e6-71a87abac361}";
  std::memcpy(reinterpret_cast<char*>(&event) + offsetof(DEV_BROADCAST_DEVICEINTERFACE_A, dbcc_name),
              kName, sizeof kName);
  event.header.dbcc_size = static_cast<DWORD>(sizeof event.header + sizeof kName - 1);
  event.header.dbcc_devicetype = DBT_DEVTYP_DEVICEINTERFACE;
  event.header.dbcc_classguid = classGuid;
  return event;
}
const GUID kNetInterface = {
    0xCAC88484, 0x7515, 0x4C03, {0x82, 0xE6, 0x71, 0xA8, 0x7A, 0xBA, 0xC3, 0x61}};
const GUID kVolumeInterface = {
    0x53F5630D, 0xB6BF, 0x11D0, {0x94, 0xF2, 0x00, 0xA0, 0xC9, 0x1E, 0xFB, 0x8B}};

TEST_F(MainWindow, OtherDevicesLeaveTheConsoleOpen) {
  Console& console = Run(kThreeHosts);
  ASSERT_TRUE(console.Discover());
  // A USB stick: the broadcast every window gets, then its volume interface.
  PostMessageA(console.main(), WM_DEVICECHANGE, DBT_DEVNODES_CHANGED, 0);
  const InterfaceEvent volume = Interface(kVolumeInterface);
  SendMessageA(console.main(), WM_DEVICECHANGE, DBT_DEVICEARRIVAL, reinterpret_cast<LPARAM>(&volume));
  Sleep(500);
  EXPECT_EQ(FindMessageBox(kCaption, console.pid()), nullptr);
  EXPECT_TRUE(IsWindowEnabled(console.main()));
  EXPECT_EQ(console.LogCount("TVCleanup"), 0);
  EXPECT_TRUE(console.Close());
}

TEST_F(MainWindow, NetworkAdapterArrivalClosesOnceWithNicChanged) {
  Console& console = Run(kThreeHosts);
  ASSERT_TRUE(console.Discover());
  const InterfaceEvent arrival = Interface(kNetInterface);
  // The handler shows its message box before it returns: send from a thread of our own.
  std::thread sender([&] {
    SendMessageA(console.main(), WM_DEVICECHANGE, DBT_DEVICEARRIVAL, reinterpret_cast<LPARAM>(&arrival));
  });
  HWND box = nullptr;
  const bool shown = WaitFor([&] { return (box = FindMessageBox(kCaption, console.pid())) != nullptr; });
  if (shown) {
    EXPECT_EQ(MessageBoxText(box), "NIC changed, the client would be closed");
    // A removal while the box is up finds the registration gone.
    const InterfaceEvent removal = Interface(kNetInterface);
    DWORD_PTR ignored = 0;
    SendMessageTimeoutA(console.main(), WM_DEVICECHANGE, DBT_DEVICEREMOVECOMPLETE,
                        reinterpret_cast<LPARAM>(&removal), SMTO_NORMAL, 2000, &ignored);
    Sleep(300);
    PostMessageA(box, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), 0);
  }
  sender.join();
  ASSERT_TRUE(shown);
  EXPECT_TRUE(console.WaitExit(10000));
  EXPECT_EQ(console.LogCount("TVCleanup"), 1);
  EXPECT_EQ(console.LogCount("TVFreePackets"), 2);  // before the discovery and at close
}

}  // namespace
