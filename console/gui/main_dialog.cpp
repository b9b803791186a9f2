// Main dialog: initialisation, message routing, selection, the close sequence and device
// changes.
#include "console/gui/main_dialog.h"

#include "console/core/found_replies.h"
#include "console/gui/actions/host_key_client.h"
#include "console/gui/resource.h"
#include "console/gui/show_message.h"
#include "console/gui/wait_dialog.h"
#include "transport/platform/net_interface_events.h"

std::atomic<HWND> mainWindowHandle{nullptr};

MainDialog::MainDialog() : Dialog(IDD_MAIN, nullptr) { panel.BindTexts(); }

MainDialog::~MainDialog() = default;

bool MainDialog::OnInitDialog() {
  waitDialog = nullptr;

  int initResult = TVInitialize();
  if (initResult != 0) {
    // The transport is not cleaned up after a failed start; the window is never shown.
    ShowMessage(static_cast<unsigned>(initResult));
    End(IDCANCEL);
    return true;
  }
  // This console asks the user before it trusts a host's key (Unknown Host Key); without
  // this call the transport would pin every first key silently.
  EnableTrustPrompting();

  HINSTANCE instance = GetModuleHandleA(nullptr);
  char aboutText[64] = {};
  if (HMENU menu = GetSystemMenu(hwnd(), FALSE);
      menu && LoadStringA(instance, IDS_ABOUTBOX, aboutText, sizeof aboutText) > 0) {
    char helpText[64] = {};
    LoadStringA(instance, IDS_HELP, helpText, sizeof helpText);
    AppendMenuA(menu, MF_SEPARATOR, 0, nullptr);
    AppendMenuA(menu, MF_STRING, IDM_ABOUTBOX, aboutText);
    AppendMenuA(menu, MF_STRING, IDM_HELP, helpText);
  }

  appIcon = LoadIconA(instance, MAKEINTRESOURCEA(IDI_APP));
  HICON smallIcon = static_cast<HICON>(LoadImageA(instance, MAKEINTRESOURCEA(IDI_APP), IMAGE_ICON,
                                                  GetSystemMetrics(SM_CXSMICON),
                                                  GetSystemMetrics(SM_CYSMICON), 0));
  SendMessageA(hwnd(), WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(appIcon));
  SendMessageA(hwnd(), WM_SETICON, ICON_SMALL,
               reinterpret_cast<LPARAM>(smallIcon ? smallIcon : appIcon));

  pollsInFlight = 0;

  // Column widths are in average characters of the dialog's font.
  int charWidth = 6;
  if (HDC dc = GetDC(hwnd())) {
    HGDIOBJ old = SelectObject(dc, reinterpret_cast<HFONT>(SendMessageA(hwnd(), WM_GETFONT, 0, 0)));
    TEXTMETRICA metrics;
    if (GetTextMetricsA(dc, &metrics) && metrics.tmAveCharWidth > 0) charWidth = metrics.tmAveCharWidth;
    SelectObject(dc, old);
    ReleaseDC(hwnd(), dc);
  }
  hostList.Attach(Item(IDC_LST_HOSTS), charWidth);

  panel.Open();
  panel.Enable(false);
  panel.EnableAddressFields(false);
  SetChecked(IDC_RB_DNS_MANUAL, false);

  LoadConfiguration();

  mainWindowHandle = hwnd();
  deviceChangeMutex = CreateMutexA(nullptr, FALSE, nullptr);

  deviceNotify = tavi::RegisterInterfaceNotification(hwnd(), tavi::kNetInterfaceClass);
  return true;
}

// --- Selection -------------------------------------------------------------------------------

void MainDialog::Select(HostItem* item) {
  if (!item) return;
  panel.ShowHostDetails(item, 0);
}

void MainDialog::OnListClick(NMHDR* header) {
  const NMITEMACTIVATE* activate = reinterpret_cast<const NMITEMACTIVATE*>(header);
  int row = activate->iItem;
  if (row < 0) {
    LVHITTESTINFO hit = {};
    hit.pt = activate->ptAction;
    row = ListView_SubItemHitTest(Item(IDC_LST_HOSTS), &hit);
    if (row >= 0) row = hit.iItem;
  }
  HostItem* item = hostList.ItemAtRow(row);
  if (item && item != panel.selectedHost()) Select(item);
}

void MainDialog::OnListKeyDown(NMHDR* header) {
  const NMLVKEYDOWN* key = reinterpret_cast<const NMLVKEYDOWN*>(header);
  const int current = hostList.FindRow(panel.selectedHost());
  int target;
  if (key->wVKey == VK_UP) {
    target = current - 1;
  } else if (key->wVKey == VK_DOWN) {
    target = current + 1;
  } else {
    return;
  }
  if (target < 0 || target >= hostList.RowCount() || target == current) return;
  Select(hostList.ItemAtRow(target));
}

// --- Messages --------------------------------------------------------------------------------

bool MainDialog::OnCommand(int id, int notifyCode, HWND) {
  if (notifyCode == BN_CLICKED) {
    switch (id) {
      case IDC_BTN_DISCOVER: OnDiscover(); return true;
      case IDC_BTN_CONFIGURE: OnConfigure(); return true;
      case IDC_BTN_APPLY: OnApply(); return true;
      case IDC_BTN_CHANGE_PASSWORD: OnChangePassword(); return true;
      case IDC_BTN_TEAMING: OnTeaming(); return true;
      case IDC_BTN_RESTART: OnRestart(); return true;
      case IDC_BTN_LAUNCH: OnLaunch(); return true;
      case IDC_RB_DHCP: panel.OnDhcp(); return true;
      case IDC_RB_STATIC: panel.OnStatic(); return true;
      case IDC_RB_DNS_MANUAL: panel.OnDnsManual(); return true;
      case IDC_RB_DNS_AUTO: panel.OnDnsAuto(); return true;
      case ID_HELP_COMMAND: StartHelp(); return true;
      default: break;
    }
  }
  if (id == IDC_CMB_MAC && notifyCode == CBN_SELCHANGE) {
    panel.OnMacSelChange();
    return true;
  }
  if (id == IDC_EDT_HOST_NAME && notifyCode == EN_KILLFOCUS) {
    panel.OnHostNameKillFocus();
    return true;
  }
  return false;
}

bool MainDialog::OnNotify(int id, NMHDR* header, LRESULT& result) {
  if (id != IDC_LST_HOSTS) return false;
  switch (header->code) {
    case NM_CLICK: OnListClick(header); break;
    case LVN_KEYDOWN: OnListKeyDown(header); break;
    case LVN_COLUMNCLICK: hostList.OnColumnClick(reinterpret_cast<NMLISTVIEW*>(header)->iSubItem); break;
    default: return false;
  }
  result = 0;
  return true;
}

bool MainDialog::OnMessage(UINT message, WPARAM wParam, LPARAM lParam, INT_PTR& result) {
  switch (message) {
    case WM_SYSCOMMAND:
      return OnSysCommand(wParam);
    case WM_PAINT:
      return OnPaint();
    case WM_QUERYDRAGICON:
      result = reinterpret_cast<INT_PTR>(appIcon);
      return true;
    case WM_TIMER:
      if (wParam == kPollTimer) hostList.Animate();
      return true;
    case WM_DEVICECHANGE:
      if (tavi::IsNetInterfaceChange(wParam, lParam)) OnDeviceChange();
      SetMessageResult(TRUE);
      result = TRUE;
      return true;
    case UM_HOST_FOUND:
      if (!closing_) hostList.AddRows(foundReplies.Take());
      break;
    case UM_WORK_DONE:
      OnWorkDone(wParam, reinterpret_cast<WorkTask*>(lParam));
      break;
    default:
      return false;
  }
  SetMessageResult(1);
  result = TRUE;
  return true;
}

bool MainDialog::OnSysCommand(WPARAM id) {
  if ((id & 0xFFF0) == IDM_ABOUTBOX) {
    RunAboutBox();
    return true;
  }
  if (id == IDM_HELP) {
    StartHelp();
    return true;
  }
  return false;
}

bool MainDialog::OnPaint() {
  if (!IsIconic(hwnd())) return false;
  PAINTSTRUCT paint;
  HDC dc = BeginPaint(hwnd(), &paint);
  SendMessageA(hwnd(), WM_ICONERASEBKGND, reinterpret_cast<WPARAM>(dc), 0);
  RECT client;
  GetClientRect(hwnd(), &client);
  int x = (client.right - client.left - GetSystemMetrics(SM_CXICON) + 1) / 2;
  int y = (client.bottom - client.top - GetSystemMetrics(SM_CYICON) + 1) / 2;
  DrawIcon(dc, x, y, appIcon);
  EndPaint(hwnd(), &paint);
  return true;
}

void MainDialog::OnCancel() { CloseSequence(); }

void MainDialog::CloseSequence() {
  if (closing_) return;
  closing_ = true;
  if (WaitDialog* wait = waitDialog.load(); wait && wait->IsOpen()) {
    // A discovery stops at once; the worker behind a request keeps its own buffers, so it
    // may finish after the console has gone.
    if (waitTask_) TVCancel(waitTask_->cancelHandle);
    wait->End(kWorkEndInvalidCode);
  }
  KillTimer(hwnd(), kPollTimer);
  panel.Close();
  TVFreePackets(&packetList);
  hostList.Clear();
  SaveConfiguration();
  TVCleanup();
  End(IDCANCEL);
}

void MainDialog::OnDeviceChange() {
  if (!deviceChangeMutex) return;  // already handled: the console is closing
  WaitForSingleObject(deviceChangeMutex, INFINITE);
  if (deviceNotify) {
    UnregisterDeviceNotification(deviceNotify);
    deviceNotify = nullptr;
    HANDLE mutex = deviceChangeMutex;
    deviceChangeMutex = nullptr;
    ReleaseMutex(mutex);
    CloseHandle(mutex);
    ShowMessage(Status::NicChanged);
    CloseSequence();
    return;
  }
  ReleaseMutex(deviceChangeMutex);
}
