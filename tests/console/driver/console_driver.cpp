#include "console_driver.h"

#include <commctrl.h>

#include <cstdio>
#include <fstream>
#include <sstream>

namespace driver {

namespace {

// A block of memory in another process, for messages whose pointers the window system
// does not carry across processes.
class RemoteBuffer {
 public:
  RemoteBuffer(HWND window, std::size_t size) : size_(size) {
    DWORD pid = 0;
    GetWindowThreadProcessId(window, &pid);
    process_ = OpenProcess(PROCESS_VM_OPERATION | PROCESS_VM_READ | PROCESS_VM_WRITE, FALSE, pid);
    if (process_) {
      address_ = VirtualAllocEx(process_, nullptr, size, MEM_COMMIT | MEM_RESERVE, PAGE_READWRITE);
    }
  }
  ~RemoteBuffer() {
    if (address_) VirtualFreeEx(process_, address_, 0, MEM_RELEASE);
    if (process_) CloseHandle(process_);
  }
  RemoteBuffer(const RemoteBuffer&) = delete;
  RemoteBuffer& operator=(const RemoteBuffer&) = delete;

  bool ok() const { return address_ != nullptr; }
  char* at(std::size_t offset) const { return static_cast<char*>(address_) + offset; }
  bool Write(std::size_t offset, const void* data, std::size_t length) const {
    SIZE_T done = 0;
    return offset + length <= size_ &&
           WriteProcessMemory(process_, at(offset), data, length, &done) && done == length;
  }
  bool Read(std::size_t offset, void* data, std::size_t length) const {
    SIZE_T done = 0;
    return offset + length <= size_ &&
           ReadProcessMemory(process_, at(offset), data, length, &done) && done == length;
  }

 private:
  HANDLE process_ = nullptr;
  void* address_ = nullptr;
  std::size_t size_;
};

struct FindData {
  const char* title;
  DWORD pid;
  HWND found;
  bool messageBox;
};

BOOL CALLBACK FindTop(HWND window, LPARAM parameter) {
  FindData* data = reinterpret_cast<FindData*>(parameter);
  if (!IsWindowVisible(window)) return TRUE;
  if (data->pid && ProcessOf(window) != data->pid) return TRUE;
  char title[256] = {};
  GetWindowTextA(window, title, sizeof title);
  if (std::string(title) != data->title) return TRUE;
  if (data->messageBox) {
    char cls[64] = {};
    GetClassNameA(window, cls, sizeof cls);
    if (std::string(cls) != "#32770" || !GetDlgItem(window, 0xFFFF)) return TRUE;
  }
  data->found = window;
  return FALSE;
}

bool ItemRect(HWND list, UINT message, int index, int code, RECT& out) {
  RemoteBuffer buffer(list, sizeof(RECT));
  RECT request = {code, 0, 0, 0};
  if (!buffer.ok() || !buffer.Write(0, &request, sizeof request)) return false;
  if (!SendMessageA(list, message, static_cast<WPARAM>(index), reinterpret_cast<LPARAM>(buffer.at(0)))) return false;
  return buffer.Read(0, &out, sizeof out);
}

}  // namespace

std::string WindowsPath(const std::string& path) {
  if (path.empty() || path[0] != '/') return path;
  std::string windows = "Z:" + path;
  for (char& c : windows) {
    if (c == '/') c = '\\';
  }
  return windows;
}

void WriteTextFile(const std::string& path, const std::string& text) {
  std::ofstream file(path, std::ios::binary | std::ios::trunc);
  file << text;
}

std::vector<std::string> ReadLines(const std::string& path) {
  std::vector<std::string> lines;
  std::ifstream file(path);
  std::string line;
  while (std::getline(file, line)) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    lines.push_back(line);
  }
  return lines;
}

// --- Console ---------------------------------------------------------------------------------

Console::Console(const std::string& folder, const std::string& script, bool fresh)
    : folder_(WindowsPath(folder)), logPath_(folder_ + "\\fake.log") {
  if (!fresh) return;
  WriteTextFile(folder_ + "\\hosts.txt", script);
  DeleteFileA(logPath_.c_str());
}

Console::~Console() { Terminate(); }

void Console::Terminate() {
  if (process_.hProcess) {
    if (WaitForSingleObject(process_.hProcess, 0) == WAIT_TIMEOUT) {
      TerminateProcess(process_.hProcess, 1);
      WaitForSingleObject(process_.hProcess, 5000);
    }
    CloseHandle(process_.hProcess);
    CloseHandle(process_.hThread);
    process_ = {};
  }
  main_ = nullptr;
}

bool Console::Launch() {
  Terminate();
  SetEnvironmentVariableA("NETVANE_FAKE_HOSTS", (folder_ + "\\hosts.txt").c_str());
  SetEnvironmentVariableA("NETVANE_FAKE_LOG", logPath_.c_str());
  std::string commandLine = "\"" + folder_ + "\\Netvane.exe\"";
  STARTUPINFOA startup = {};
  startup.cb = sizeof startup;
  return CreateProcessA(nullptr, &commandLine[0], nullptr, nullptr, FALSE, 0, nullptr,
                        folder_.c_str(), &startup, &process_) != FALSE;
}

bool Console::Start(DWORD timeoutMs) {
  if (!Launch()) return false;
  main_ = WaitTopWindow(kMainTitle, process_.dwProcessId, timeoutMs);
  return main_ != nullptr;
}

bool Console::Close(DWORD timeoutMs) {
  if (main_ && IsWindow(main_)) PostClick(main_, IDCANCEL);
  return WaitExit(timeoutMs);
}

bool Console::WaitExit(DWORD timeoutMs) {
  return process_.hProcess && WaitForSingleObject(process_.hProcess, timeoutMs) == WAIT_OBJECT_0;
}

DWORD Console::ExitCode() const {
  DWORD code = STILL_ACTIVE;
  if (process_.hProcess) GetExitCodeProcess(process_.hProcess, &code);
  return code;
}

int Console::LogCount(const std::string& prefix) const {
  int count = 0;
  for (const std::string& line : Log()) {
    if (line.compare(0, prefix.size(), prefix) == 0) ++count;
  }
  return count;
}

bool Console::Discover(DWORD timeoutMs) {
  const int before = LogCount("TVFreePackets");
  PostClick(main_, 1000);
  // A quick discovery may end before its wait dialog is ever seen: the discovery has begun
  // once the old replies were freed, and has ended when Discover is usable again or a
  // message box reports the outcome.
  return WaitFor(
      [&] {
        return LogCount("TVFreePackets") > before && !FindTopWindow("Please wait", pid()) &&
               (Enabled(main_, 1000) || FindMessageBox("Netvane", pid()));
      },
      timeoutMs);
}

// --- Windows and controls ----------------------------------------------------------------------

HWND FindTopWindow(const char* title, DWORD pid) {
  FindData data = {title, pid, nullptr, false};
  EnumWindows(FindTop, reinterpret_cast<LPARAM>(&data));
  return data.found;
}

HWND WaitTopWindow(const char* title, DWORD pid, DWORD timeoutMs) {
  HWND found = nullptr;
  WaitFor([&] { return (found = FindTopWindow(title, pid)) != nullptr; }, timeoutMs);
  return found;
}

bool WaitGone(HWND window, DWORD timeoutMs) {
  return WaitFor([&] { return !IsWindow(window) || !IsWindowVisible(window); }, timeoutMs);
}

DWORD ProcessOf(HWND window) {
  DWORD pid = 0;
  GetWindowThreadProcessId(window, &pid);
  return pid;
}

std::string WindowTitles(DWORD pid) {
  struct Context {
    DWORD pid;
    std::string titles;
  } context{pid, {}};
  EnumWindows(
      [](HWND window, LPARAM parameter) -> BOOL {
        Context* c = reinterpret_cast<Context*>(parameter);
        if (ProcessOf(window) == c->pid && IsWindowVisible(window)) {
          char title[256] = {};
          GetWindowTextA(window, title, sizeof title);
          c->titles += std::string("[") + title + "]";
        }
        return TRUE;
      },
      reinterpret_cast<LPARAM>(&context));
  return context.titles;
}

std::string Text(HWND dialog, int id) {
  HWND item = GetDlgItem(dialog, id);
  if (!item) return std::string();
  // WM_GETTEXT, not GetWindowText: across processes the latter reads only the window's own
  // caption, which edit controls leave empty.
  char text[1024] = {};
  DWORD_PTR result = 0;
  SendMessageTimeoutA(item, WM_GETTEXT, sizeof text, reinterpret_cast<LPARAM>(text), SMTO_BLOCK,
                      5000, &result);
  return text;
}

bool Enabled(HWND dialog, int id) {
  HWND item = GetDlgItem(dialog, id);
  return item && IsWindowEnabled(item);
}

bool Visible(HWND dialog, int id) {
  HWND item = GetDlgItem(dialog, id);
  return item && IsWindowVisible(item);
}

bool AddressBlank(HWND dialog, int id) {
  return SendDlgItemMessageA(dialog, id, IPM_ISBLANK, 0, 0) != 0;
}

bool Checked(HWND dialog, int id) {
  return SendDlgItemMessageA(dialog, id, BM_GETCHECK, 0, 0) == BST_CHECKED;
}

void SetText(HWND dialog, int id, const std::string& text) {
  SendDlgItemMessageA(dialog, id, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(text.c_str()));
}

namespace {

HWND PrepareClick(HWND dialog, int id) {
  HWND item = GetDlgItem(dialog, id);
  // An automatic radio button checks itself on a real click; do what the click would.
  if (item && (GetWindowLongA(item, GWL_STYLE) & BS_TYPEMASK) == BS_AUTORADIOBUTTON) {
    SendMessageA(item, BM_SETCHECK, BST_CHECKED, 0);
  }
  return item;
}

}  // namespace

void PostClick(HWND dialog, int id) {
  HWND item = PrepareClick(dialog, id);
  PostMessageA(dialog, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED), reinterpret_cast<LPARAM>(item));
}

void SendClick(HWND dialog, int id) {
  HWND item = PrepareClick(dialog, id);
  DWORD_PTR result = 0;
  SendMessageTimeoutA(dialog, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED), reinterpret_cast<LPARAM>(item),
                      SMTO_BLOCK, 10000, &result);
}

void PressButton(HWND dialog, int id, bool wait) {
  HWND button = GetDlgItem(dialog, id);
  DWORD_PTR result = 0;
  if (!wait) {
    PostMessageA(button, BM_CLICK, 0, 0);
  } else {
    SendMessageTimeoutA(button, BM_CLICK, 0, 0, SMTO_BLOCK, 10000, &result);
  }
}

void SetAddress(HWND dialog, int id, uint32_t address) {
  SendDlgItemMessageA(dialog, id, IPM_SETADDRESS, 0, static_cast<LPARAM>(address));
}

void PostMouseClick(HWND window, int x, int y) {
  LPARAM point = MAKELPARAM(x, y);
  PostMessageA(window, WM_MOUSEMOVE, 0, point);
  PostMessageA(window, WM_LBUTTONDOWN, MK_LBUTTON, point);
  PostMessageA(window, WM_LBUTTONUP, 0, point);
}

void PostKey(HWND window, UINT virtualKey) {
  PostMessageA(window, WM_KEYDOWN, virtualKey, 1);
  PostMessageA(window, WM_KEYUP, virtualKey, static_cast<LPARAM>(0xC0000001u));
}

HWND FocusOf(HWND anyWindowOfThread) {
  GUITHREADINFO info = {};
  info.cbSize = sizeof info;
  DWORD thread = GetWindowThreadProcessId(anyWindowOfThread, nullptr);
  return GetGUIThreadInfo(thread, &info) ? info.hwndFocus : nullptr;
}

int ComboSelection(HWND dialog, int id) {
  return static_cast<int>(SendDlgItemMessageA(dialog, id, CB_GETCURSEL, 0, 0));
}

int ComboCount(HWND dialog, int id) {
  return static_cast<int>(SendDlgItemMessageA(dialog, id, CB_GETCOUNT, 0, 0));
}

void ChooseComboEntry(HWND dialog, int id, int index) {
  HWND combo = GetDlgItem(dialog, id);
  SendMessageA(combo, CB_SETCURSEL, static_cast<WPARAM>(index), 0);
  SendMessageA(dialog, WM_COMMAND, MAKEWPARAM(id, CBN_SELCHANGE), reinterpret_cast<LPARAM>(combo));
}

// --- List view ---------------------------------------------------------------------------------

int ListRowCount(HWND list) { return static_cast<int>(SendMessageA(list, LVM_GETITEMCOUNT, 0, 0)); }

std::string ListText(HWND list, int row, int column) {
  constexpr std::size_t kText = 260;
  RemoteBuffer buffer(list, sizeof(LVITEMA) + kText);
  if (!buffer.ok()) return "<no buffer>";
  LVITEMA item = {};
  item.iSubItem = column;
  item.pszText = buffer.at(sizeof(LVITEMA));
  item.cchTextMax = kText;
  char empty[kText] = {};
  buffer.Write(0, &item, sizeof item);
  buffer.Write(sizeof(LVITEMA), empty, kText);
  SendMessageA(list, LVM_GETITEMTEXTA, static_cast<WPARAM>(row), reinterpret_cast<LPARAM>(buffer.at(0)));
  char text[kText] = {};
  buffer.Read(sizeof(LVITEMA), text, kText - 1);
  return text;
}

int ListImage(HWND list, int row) {
  RemoteBuffer buffer(list, sizeof(LVITEMA));
  if (!buffer.ok()) return -100;
  LVITEMA item = {};
  item.mask = LVIF_IMAGE;
  item.iItem = row;
  buffer.Write(0, &item, sizeof item);
  if (!SendMessageA(list, LVM_GETITEMA, 0, reinterpret_cast<LPARAM>(buffer.at(0)))) return -100;
  buffer.Read(0, &item, sizeof item);
  return item.iImage;
}

int ListSelectedRow(HWND list) {
  return static_cast<int>(SendMessageA(list, LVM_GETNEXTITEM, static_cast<WPARAM>(-1), LVNI_SELECTED));
}

int HeaderImage(HWND list, int column) {
  HWND header = reinterpret_cast<HWND>(SendMessageA(list, LVM_GETHEADER, 0, 0));
  RemoteBuffer buffer(header, sizeof(HDITEMA));
  if (!buffer.ok()) return -100;
  HDITEMA item = {};
  item.mask = HDI_FORMAT | HDI_IMAGE;
  buffer.Write(0, &item, sizeof item);
  if (!SendMessageA(header, HDM_GETITEMA, static_cast<WPARAM>(column), reinterpret_cast<LPARAM>(buffer.at(0)))) {
    return -100;
  }
  buffer.Read(0, &item, sizeof item);
  return (item.fmt & HDF_IMAGE) ? item.iImage : -1;
}

void ClickHeader(HWND list, int column) {
  HWND header = reinterpret_cast<HWND>(SendMessageA(list, LVM_GETHEADER, 0, 0));
  RECT rect{};
  if (!ItemRect(header, HDM_GETITEMRECT, column, 0, rect)) return;
  PostMouseClick(header, (rect.left + rect.right) / 2, (rect.top + rect.bottom) / 2);
}

void ClickRow(HWND list, int row) {
  RECT rect{};
  if (!ItemRect(list, LVM_GETITEMRECT, row, LVIR_BOUNDS, rect)) return;
  PostMouseClick(list, rect.left + 60, (rect.top + rect.bottom) / 2);
}

// --- Message boxes -----------------------------------------------------------------------------

HWND FindMessageBox(const char* caption, DWORD pid) {
  FindData data = {caption, pid, nullptr, true};
  EnumWindows(FindTop, reinterpret_cast<LPARAM>(&data));
  return data.found;
}

std::string MessageBoxText(HWND box) { return box ? Text(box, 0xFFFF) : std::string(); }

std::string TakeMessageBox(const char* caption, DWORD pid, DWORD timeoutMs) {
  HWND box = nullptr;
  if (!WaitFor([&] { return (box = FindMessageBox(caption, pid)) != nullptr; }, timeoutMs)) return "";
  std::string text = MessageBoxText(box);
  PostMessageA(box, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), 0);
  WaitGone(box, timeoutMs);
  return text;
}

// --- Screenshots -------------------------------------------------------------------------------

bool SaveWindowShot(HWND window, const std::string& path) {
  RECT rect{};
  if (!GetWindowRect(window, &rect)) return false;
  const int width = rect.right - rect.left, height = rect.bottom - rect.top;
  if (width <= 0 || height <= 0) return false;
  HDC screen = GetDC(nullptr);
  HDC memory = CreateCompatibleDC(screen);
  BITMAPINFO info = {};
  info.bmiHeader.biSize = sizeof info.bmiHeader;
  info.bmiHeader.biWidth = width;
  info.bmiHeader.biHeight = height;  // bottom-up, as BMP files store rows
  info.bmiHeader.biPlanes = 1;
  info.bmiHeader.biBitCount = 24;
  info.bmiHeader.biCompression = BI_RGB;
  void* bits = nullptr;
  HBITMAP bitmap = CreateDIBSection(screen, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
  bool ok = false;
  if (bitmap) {
    HGDIOBJ old = SelectObject(memory, bitmap);
    ok = BitBlt(memory, 0, 0, width, height, screen, rect.left, rect.top, SRCCOPY) != FALSE;
    GdiFlush();
    SelectObject(memory, old);
    const DWORD stride = ((static_cast<DWORD>(width) * 3 + 3) & ~3u);
    const DWORD imageSize = stride * static_cast<DWORD>(height);
    BITMAPFILEHEADER file = {};
    file.bfType = 0x4D42;
    file.bfOffBits = sizeof file + sizeof info.bmiHeader;
    file.bfSize = file.bfOffBits + imageSize;
    if (ok) {
      std::ofstream out(path, std::ios::binary | std::ios::trunc);
      out.write(reinterpret_cast<const char*>(&file), sizeof file);
      out.write(reinterpret_cast<const char*>(&info.bmiHeader), sizeof info.bmiHeader);
      out.write(static_cast<const char*>(bits), imageSize);
      ok = out.good();
    }
    DeleteObject(bitmap);
  }
  DeleteDC(memory);
  ReleaseDC(nullptr, screen);
  return ok;
}

}  // namespace driver
