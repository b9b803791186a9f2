// Main dialog: initialisation, message routing, the close sequence and device changes.
#include "console/main_dialog.h"

#include "console/actions/host_key_client.h"
#include "console/device_change.h"
#include "console/resource.h"
#include "console/show_message.h"
#include "console/wait_dialog.h"

std::atomic<HWND> mainWindowHandle{nullptr};
int lastSortColumn = 0;

namespace {

constexpr int kPanelControls[] = {IDC_CMB_MAC,  IDC_BTN_RESTART,    IDC_BTN_CHANGE_PASSWORD,
                                  IDC_BTN_APPLY, IDC_BTN_LAUNCH,    IDC_RB_DHCP,
                                  IDC_RB_STATIC, IDC_EDT_HOST_NAME, IDC_IPA_DNS,
                                  IDC_IPA_GATEWAY, IDC_RB_DNS_MANUAL, IDC_RB_DNS_AUTO,
                                  IDC_BTN_TEAMING};

}  // namespace

MainDialog::MainDialog() : Dialog(IDD_MAIN, nullptr) {
  BindText(IDC_EDT_HOST_NAME, &hostNameText, kHostNameMaxChars);
  BindText(IDC_EDT_PORT, &portText);
  BindText(IDC_TXT_PORT_LABEL, &portLabelText);
  BindText(IDC_EDT_OS_NAME, &osNameText, 255);
  BindText(IDC_EDT_OS_VERSION, &osVersionText, 19);
  BindText(IDC_EDT_INTERFACE, &interfaceText, 19);
}

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

  workResult = 1;
  cancelRequested = 0;
  selectedHost = nullptr;
  pollsInFlight = 0;
  pollTimerId = 0;

  SetupHostList();

  selectedNic = 0;
  EnablePanel(false);
  EnableAddressFields(false);
  editRecord.assign(kConsoleReplyBufferLength, 0);
  SetChecked(IDC_RB_DNS_MANUAL, false);

  LoadConfiguration();

  busySlots.fill(BusySlot{});
  mainWindowHandle = hwnd();
  deviceChangeMutex = CreateMutexA(nullptr, FALSE, nullptr);

  deviceNotify = RegisterNetInterfaceNotification(hwnd());
  return true;
}

void MainDialog::SetupHostList() {
  HWND list = Item(IDC_LST_HOSTS);
  ListView_SetExtendedListViewStyleEx(list, LVS_EX_FULLROWSELECT, LVS_EX_FULLROWSELECT);
  // Rows carry no item text, so the list's own text sorting would place each new row among
  // the equal empty texts wherever it likes; rows are appended in arrival order and ordered
  // only by the column comparators.
  SetWindowLongA(list, GWL_STYLE, GetWindowLongA(list, GWL_STYLE) & ~LVS_SORTASCENDING);

  // Column widths are in average characters of the dialog's font.
  int charWidth = 6;
  if (HDC dc = GetDC(hwnd())) {
    HGDIOBJ old = SelectObject(dc, reinterpret_cast<HFONT>(SendMessageA(hwnd(), WM_GETFONT, 0, 0)));
    TEXTMETRICA metrics;
    if (GetTextMetricsA(dc, &metrics) && metrics.tmAveCharWidth > 0) charWidth = metrics.tmAveCharWidth;
    SelectObject(dc, old);
    ReleaseDC(hwnd(), dc);
  }

  imageList = ImageList_LoadImageA(GetModuleHandleA(nullptr), MAKEINTRESOURCEA(IDB_LIST_IMAGES), 16,
                                   16, RGB(255, 255, 255), IMAGE_BITMAP, LR_CREATEDIBSECTION);
  ListView_SetImageList(list, imageList, LVSIL_SMALL);
  Header_SetImageList(ListView_GetHeader(list), imageList);

  struct Column {
    const char* caption;
    int width;
  };
  const Column columns[] = {{"", 30},
                            {"Host", 14 * charWidth},
                            {"Model", 10 * charWidth},
                            {"OS", 9 * charWidth},
                            {"NIC#", 10 * charWidth},
                            {"IP", 20 * charWidth}};
  for (int i = 0; i < 6; ++i) {
    LVCOLUMNA column = {};
    column.mask = LVCF_FMT | LVCF_WIDTH | LVCF_TEXT | LVCF_SUBITEM;
    column.fmt = LVCFMT_LEFT;
    column.cx = columns[i].width;
    column.pszText = const_cast<char*>(columns[i].caption);
    column.iSubItem = i;
    ListView_InsertColumn(list, i, &column);
  }
  SetHeaderImage(0, 0);
}

void MainDialog::SetHeaderImage(int column, int image) {
  HWND header = ListView_GetHeader(Item(IDC_LST_HOSTS));
  HDITEMA item = {};
  item.mask = HDI_FORMAT;
  if (!Header_GetItem(header, column, &item)) return;
  item.mask = HDI_FORMAT | HDI_IMAGE;
  if (image >= 0) {
    item.fmt |= HDF_IMAGE | HDF_BITMAP_ON_RIGHT;
    item.iImage = image;
  } else {
    item.fmt &= ~(HDF_IMAGE | HDF_BITMAP_ON_RIGHT);
    item.iImage = I_IMAGENONE;
  }
  Header_SetItem(header, column, &item);
}

int MainDialog::HeaderImage(int column) const {
  HWND header = ListView_GetHeader(Item(IDC_LST_HOSTS));
  HDITEMA item = {};
  item.mask = HDI_FORMAT | HDI_IMAGE;
  if (!Header_GetItem(header, column, &item) || !(item.fmt & HDF_IMAGE)) return -1;
  return item.iImage;
}

void MainDialog::EnablePanel(bool enable) {
  for (int id : kPanelControls) EnableItem(id, enable);
}

void MainDialog::EnableAddressFields(bool enable) {
  EnableItem(IDC_IPA_ADDRESS, enable);
  EnableItem(IDC_IPA_MASK, enable);
  EnableItem(IDC_IPA_GATEWAY, enable);
}

void MainDialog::ClearPanel() {
  osNameText.clear();
  osVersionText.clear();
  portText.clear();
  hostNameText.clear();
  interfaceText.clear();
  SetItemText(IDC_EDT_HOST_KEY, "");
  SendDlgItemMessageA(hwnd(), IDC_CMB_MAC, CB_RESETCONTENT, 0, 0);
  ClearAddress(IDC_IPA_DNS);
  ClearAddress(IDC_IPA_GATEWAY);
  // Shown at once: a discovery that finds nothing must not leave the last host's details
  // beside an empty list.
  UpdateData(false);
}

void MainDialog::ClearAddressFields() {
  ClearAddress(IDC_IPA_ADDRESS);
  ClearAddress(IDC_IPA_MASK);
  ClearAddress(IDC_IPA_GATEWAY);
}

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
      case IDC_RB_DHCP: OnDhcp(); return true;
      case IDC_RB_STATIC: OnStatic(); return true;
      case IDC_RB_DNS_MANUAL: OnDnsManual(); return true;
      case IDC_RB_DNS_AUTO: OnDnsAuto(); return true;
      case ID_HELP_COMMAND: StartHelp(); return true;
      default: break;
    }
  }
  if (id == IDC_CMB_MAC && notifyCode == CBN_SELCHANGE) {
    OnMacSelChange();
    return true;
  }
  if (id == IDC_EDT_HOST_NAME && notifyCode == EN_KILLFOCUS) {
    OnHostNameKillFocus();
    return true;
  }
  return false;
}

bool MainDialog::OnNotify(int id, NMHDR* header, LRESULT& result) {
  if (id != IDC_LST_HOSTS) return false;
  switch (header->code) {
    case NM_CLICK: OnListClick(header); break;
    case LVN_KEYDOWN: OnListKeyDown(header); break;
    case LVN_COLUMNCLICK: OnColumnClick(reinterpret_cast<NMLISTVIEW*>(header)->iSubItem); break;
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
      if (wParam == kPollTimer) OnTimer();
      return true;
    case WM_DEVICECHANGE:
      if (IsNetInterfaceChange(wParam, lParam)) OnDeviceChange();
      SetMessageResult(TRUE);
      result = TRUE;
      return true;
    case UM_HOST_FOUND:
      if (wParam && !closing_) AddHostRow(RowCount(), reinterpret_cast<const uint8_t*>(wParam));
      break;
    case UM_SELECTED_HOST_UPDATED:
    case UM_HOST_ROW_UPDATED:
      OnHostRefreshed(reinterpret_cast<HostItem*>(wParam), reinterpret_cast<const uint8_t*>(lParam));
      break;
    case UM_WORK_DONE:
      OnWorkDone(wParam, reinterpret_cast<WorkItem*>(lParam));
      break;
    case UM_POLL_DONE:
      OnPollDone(static_cast<int>(wParam), reinterpret_cast<WorkItem*>(lParam));
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
    if (waitWork_) TVCancel(waitWork_->cancelHandle);
    wait->End(kWorkEndInvalidCode);
  }
  KillTimer(hwnd(), kPollTimer);
  pollTimerId = 0;
  editRecord.clear();
  editRecord.shrink_to_fit();
  TVFreePackets(&packetList);
  ClearHostList();
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
