#include "console_session.h"

#include <commctrl.h>

#include <cstdio>
#include <fstream>
#include <sstream>

#include "console/gui/resource.h"
#include "protocol/byte_order.h"

namespace {

constexpr const char* kMainTitle = "Orvane Network Utility 1.8";

std::string ProgramDirectory() {
  char path[MAX_PATH] = {};
  GetModuleFileNameA(nullptr, path, MAX_PATH);
  std::string text(path);
  return text.substr(0, text.rfind('\\'));
}

void CopyInto(const std::string& from, const std::string& folder, const char* name) {
  CopyFileA(from.c_str(), (folder + "\\" + name).c_str(), FALSE);
}

void RemoveFolder(const std::string& folder) {
  WIN32_FIND_DATAA entry;
  HANDLE find = FindFirstFileA((folder + "\\*").c_str(), &entry);
  if (find != INVALID_HANDLE_VALUE) {
    do {
      std::string name = entry.cFileName;
      if (name != "." && name != "..") DeleteFileA((folder + "\\" + name).c_str());
    } while (FindNextFileA(find, &entry));
    FindClose(find);
  }
  RemoveDirectoryA(folder.c_str());
}

struct FindContext {
  DWORD processId;
  const char* title;
  HWND found;
};

BOOL CALLBACK FindTitled(HWND window, LPARAM parameter) {
  FindContext* context = reinterpret_cast<FindContext*>(parameter);
  DWORD owner = 0;
  GetWindowThreadProcessId(window, &owner);
  if (owner != context->processId || !IsWindowVisible(window)) return TRUE;
  char title[256] = {};
  GetWindowTextA(window, title, sizeof title);
  if (std::string(title) == context->title) {
    context->found = window;
    return FALSE;
  }
  return TRUE;
}

std::vector<uint8_t> FromHex(const std::string& hex) {
  std::vector<uint8_t> bytes;
  for (std::size_t i = 0; i + 1 < hex.size(); i += 2)
    bytes.push_back(static_cast<uint8_t>(std::stoul(hex.substr(i, 2), nullptr, 16)));
  return bytes;
}

}  // namespace

ConsoleSession::ConsoleSession(const std::string& name, const std::string& script) {
  const std::string bin = ProgramDirectory();
  char full[MAX_PATH] = {};
  GetFullPathNameA((bin + "\\..\\actions gui runs").c_str(), MAX_PATH, full, nullptr);
  const std::string runs = full;
  CreateDirectoryA(runs.c_str(), nullptr);
  folder_ = runs + "\\" + name;
  RemoveFolder(folder_);
  CreateDirectoryA(folder_.c_str(), nullptr);
  CopyInto(bin + "\\Netvane.exe", folder_, "Netvane.exe");
  CopyInto(bin + "\\..\\console-fake\\TaviClient.dll", folder_, "TaviClient.dll");
  CopyInto(bin + "\\..\\actions-fake-hh\\hh.exe", folder_, "hh.exe");
  std::ofstream(folder_ + "\\hosts.txt") << script;
  logPath_ = folder_ + "\\fake.log";
  helpLogPath_ = folder_ + "\\hh.log";
}

ConsoleSession::~ConsoleSession() {
  if (process_.hProcess) {
    if (WaitForSingleObject(process_.hProcess, 0) != WAIT_OBJECT_0) {
      // A failed test may leave a modal window up: end the run we started.
      TerminateProcess(process_.hProcess, 1);
      WaitForSingleObject(process_.hProcess, 5000);
    }
    CloseHandle(process_.hProcess);
    CloseHandle(process_.hThread);
  }
  // NETVANE_KEEP_RUNS keeps a run's folder (log, configuration file) for a look afterwards.
  if (GetEnvironmentVariableA("NETVANE_KEEP_RUNS", nullptr, 0) == 0) {
    RemoveFolder(folder_);
    // The folder of all runs goes with the last of them (fails while others remain).
    RemoveDirectoryA(folder_.substr(0, folder_.rfind('\\')).c_str());
  }
}

bool ConsoleSession::Start() {
  if (process_.hProcess) {
    CloseHandle(process_.hProcess);
    CloseHandle(process_.hThread);
    process_ = {};
  }
  SetEnvironmentVariableA("NETVANE_FAKE_HOSTS", (folder_ + "\\hosts.txt").c_str());
  SetEnvironmentVariableA("NETVANE_FAKE_LOG", logPath_.c_str());
  SetEnvironmentVariableA("NETVANE_FAKE_HH_LOG", helpLogPath_.c_str());
  std::string command = "\"" + folder_ + "\\Netvane.exe\"";
  STARTUPINFOA startup = {};
  startup.cb = sizeof startup;
  if (!CreateProcessA(nullptr, &command[0], nullptr, nullptr, FALSE, 0, nullptr,
                      folder_.c_str(), &startup, &process_))
    return false;
  main_ = WaitWindow(kMainTitle, 20000);
  return main_ != nullptr;
}

bool ConsoleSession::Close() {
  if (!main_) return false;
  PostMessageA(main_, WM_COMMAND, MAKEWPARAM(IDCANCEL, BN_CLICKED), 0);
  const bool ended = WaitForSingleObject(process_.hProcess, 15000) == WAIT_OBJECT_0;
  main_ = nullptr;
  return ended;
}

bool ConsoleSession::Discover(int rows) {
  Click(IDC_BTN_DISCOVER);
  const DWORD until = GetTickCount() + 15000;
  while (GetTickCount() < until) {
    HWND list = GetDlgItem(main_, IDC_LST_HOSTS);
    const LRESULT count = SendMessageA(list, LVM_GETITEMCOUNT, 0, 0);
    if (count >= rows && Enabled(IDC_BTN_DISCOVER) && !WaitWindow("Please wait", 0)) return true;
    Sleep(20);
  }
  HWND list = GetDlgItem(main_, IDC_LST_HOSTS);
  std::fprintf(stderr, "discovery did not end: %d rows, Discover %s, windows: %s\n",
               static_cast<int>(SendMessageA(list, LVM_GETITEMCOUNT, 0, 0)),
               Enabled(IDC_BTN_DISCOVER) ? "enabled" : "disabled", WindowTitles().c_str());
  return false;
}

std::string ConsoleSession::WindowTitles() const {
  struct Context {
    DWORD processId;
    std::string titles;
  } context{process_.dwProcessId, {}};
  EnumWindows(
      [](HWND window, LPARAM parameter) -> BOOL {
        Context* c = reinterpret_cast<Context*>(parameter);
        DWORD owner = 0;
        GetWindowThreadProcessId(window, &owner);
        if (owner == c->processId && IsWindowVisible(window)) {
          char title[256] = {};
          GetWindowTextA(window, title, sizeof title);
          c->titles += std::string("[") + title + "]";
        }
        return TRUE;
      },
      reinterpret_cast<LPARAM>(&context));
  return context.titles;
}

void ConsoleSession::Click(int id) const { Post(main_, id); }

void ConsoleSession::Press(HWND dialog, int id) const {
  SendMessageA(GetDlgItem(dialog, id), BM_CLICK, 0, 0);
}

void ConsoleSession::Post(HWND dialog, int id) const {
  PostMessageA(GetDlgItem(dialog, id), BM_CLICK, 0, 0);
}

bool ConsoleSession::Enabled(int id) const {
  return IsWindowEnabled(GetDlgItem(main_, id)) != FALSE;
}

bool ConsoleSession::WaitEnabled(int id, bool enabled, DWORD timeoutMs) const {
  const DWORD until = GetTickCount() + timeoutMs;
  while (Enabled(id) != enabled) {
    if (GetTickCount() >= until) return false;
    Sleep(20);
  }
  return true;
}

bool ConsoleSession::Visible(int id) const {
  return IsWindowVisible(GetDlgItem(main_, id)) != FALSE;
}

std::string ConsoleSession::Text(HWND window, int id) const {
  char text[1024] = {};
  SendMessageA(GetDlgItem(window, id), WM_GETTEXT, sizeof text, reinterpret_cast<LPARAM>(text));
  return text;
}

void ConsoleSession::SetText(HWND window, int id, const std::string& text) const {
  SendMessageA(GetDlgItem(window, id), WM_SETTEXT, 0, reinterpret_cast<LPARAM>(text.c_str()));
}

void ConsoleSession::SetAddress(int id, uint32_t address) const {
  SendMessageA(GetDlgItem(main_, id), IPM_SETADDRESS, 0, static_cast<LPARAM>(address));
}

HWND ConsoleSession::WaitWindow(const char* title, DWORD timeoutMs) const {
  const DWORD until = GetTickCount() + timeoutMs;
  for (;;) {
    FindContext context{process_.dwProcessId, title, nullptr};
    EnumWindows(&FindTitled, reinterpret_cast<LPARAM>(&context));
    if (context.found) return context.found;
    if (GetTickCount() >= until) return nullptr;
    Sleep(20);
  }
}

bool ConsoleSession::WaitGone(HWND window, DWORD timeoutMs) const {
  const DWORD until = GetTickCount() + timeoutMs;
  while (IsWindow(window) && IsWindowVisible(window)) {
    if (GetTickCount() >= until) return false;
    Sleep(20);
  }
  return true;
}

HWND ConsoleSession::MessageBoxWindow() const { return WaitWindow("Netvane", 0); }

std::string ConsoleSession::TakeMessage(DWORD timeoutMs) {
  HWND box = WaitWindow("Netvane", timeoutMs);
  if (!box) return {};
  // The message box's text is its static control 0xFFFF.
  std::string text = Text(box, 0xFFFF);
  PostMessageA(box, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), 0);
  WaitGone(box, 5000);
  return text;
}

bool ConsoleSession::Verify(const std::string& password, std::string* shownUser,
                            bool* userReadOnly) {
  HWND dialog = WaitWindow("Verify Password");
  if (!dialog) return false;
  if (shownUser) *shownUser = Text(dialog, IDC_EDT_VERIFY_USER);
  if (userReadOnly)
    *userReadOnly = (GetWindowLongA(GetDlgItem(dialog, IDC_EDT_VERIFY_USER), GWL_STYLE) &
                     ES_READONLY) != 0;
  SetText(dialog, IDC_EDT_VERIFY_PASSWORD, password);
  Post(dialog, IDOK);
  return WaitGone(dialog);
}

std::vector<std::string> ConsoleSession::Log() const {
  std::vector<std::string> lines;
  std::ifstream file(logPath_);
  std::string line;
  while (std::getline(file, line)) lines.push_back(line);
  return lines;
}

std::vector<std::vector<uint8_t>> ConsoleSession::Requests(uint32_t code) const {
  std::vector<std::vector<uint8_t>> requests;
  const std::string prefix = "TVDoWork code=" + std::to_string(code) + " ";
  for (const std::string& line : Log()) {
    if (line.compare(0, prefix.size(), prefix) != 0) continue;
    const std::size_t bytes = line.find("bytes=");
    if (bytes != std::string::npos) requests.push_back(FromHex(line.substr(bytes + 6)));
  }
  return requests;
}

bool ConsoleSession::LogContains(const std::string& text) const {
  for (const std::string& line : Log())
    if (line.find(text) != std::string::npos) return true;
  return false;
}

bool ConsoleSession::WaitLog(const std::string& text, DWORD timeoutMs) const {
  const DWORD until = GetTickCount() + timeoutMs;
  while (!LogContains(text)) {
    if (GetTickCount() >= until) return false;
    Sleep(20);
  }
  return true;
}

std::vector<std::string> ConsoleSession::HelpLaunches() const {
  std::vector<std::string> lines;
  std::ifstream file(helpLogPath_);
  std::string line;
  while (std::getline(file, line)) lines.push_back(line);
  return lines;
}

std::vector<uint8_t> ReadFileBytes(const std::string& path) {
  std::ifstream file(path, std::ios::binary);
  return std::vector<uint8_t>((std::istreambuf_iterator<char>(file)),
                              std::istreambuf_iterator<char>());
}

void WriteFileBytes(const std::string& path, const std::vector<uint8_t>& bytes) {
  std::ofstream file(path, std::ios::binary | std::ios::trunc);
  file.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
}
