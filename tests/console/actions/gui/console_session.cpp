#include "console_session.h"

#include <commctrl.h>

#include <cstdio>
#include <fstream>

#include "console/gui/resource.h"

using driver::WaitFor;

namespace {

std::string ProgramDirectory() {
  char path[MAX_PATH] = {};
  GetModuleFileNameA(nullptr, path, MAX_PATH);
  std::string text(path);
  return text.substr(0, text.rfind('\\'));
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

// A fresh folder for run `name` with the program, the fake transport and the fake hh.exe.
std::string PrepareRun(const std::string& name) {
  const std::string bin = ProgramDirectory();
  char full[MAX_PATH] = {};
  GetFullPathNameA((bin + "\\..\\actions gui runs").c_str(), MAX_PATH, full, nullptr);
  CreateDirectoryA(full, nullptr);
  const std::string folder = std::string(full) + "\\" + name;
  RemoveFolder(folder);
  CreateDirectoryA(folder.c_str(), nullptr);
  for (const auto& [from, to] : {std::pair<std::string, const char*>{bin + "\\Netvane.exe", "Netvane.exe"},
                                 {bin + "\\..\\console-fake\\TaviClient.dll", "TaviClient.dll"},
                                 {bin + "\\..\\actions-fake-hh\\hh.exe", "hh.exe"}})
    CopyFileA(from.c_str(), (folder + "\\" + to).c_str(), FALSE);
  return folder;
}

std::vector<uint8_t> FromHex(const std::string& hex) {
  std::vector<uint8_t> bytes;
  for (std::size_t i = 0; i + 1 < hex.size(); i += 2)
    bytes.push_back(static_cast<uint8_t>(std::stoul(hex.substr(i, 2), nullptr, 16)));
  return bytes;
}

}  // namespace

ConsoleSession::ConsoleSession(const std::string& name, const std::string& script)
    : folder_(PrepareRun(name)), helpLogPath_(folder_ + "\\hh.log"), console_(folder_, script) {}

ConsoleSession::~ConsoleSession() {
  console_.Terminate();
  // NETVANE_KEEP_RUNS keeps a run's folder (log, configuration file) for a look afterwards.
  if (GetEnvironmentVariableA("NETVANE_KEEP_RUNS", nullptr, 0) == 0) {
    RemoveFolder(folder_);
    // The folder of all runs goes with the last of them (fails while others remain).
    RemoveDirectoryA(folder_.substr(0, folder_.rfind('\\')).c_str());
  }
}

bool ConsoleSession::Start() {
  SetEnvironmentVariableA("NETVANE_FAKE_HH_LOG", helpLogPath_.c_str());
  return console_.Start(20000);
}

bool ConsoleSession::Close() { return main() && console_.Close(15000); }

bool ConsoleSession::Discover(int rows) {
  Click(IDC_BTN_DISCOVER);
  HWND list = GetDlgItem(main(), IDC_LST_HOSTS);
  if (WaitFor([&] {
        return driver::ListRowCount(list) >= rows && Enabled(IDC_BTN_DISCOVER) &&
               !WaitWindow("Please wait", 0);
      }, 15000))
    return true;
  std::fprintf(stderr, "discovery did not end: %d rows, Discover %s, windows: %s\n",
               driver::ListRowCount(list), Enabled(IDC_BTN_DISCOVER) ? "enabled" : "disabled",
               WindowTitles().c_str());
  return false;
}

void ConsoleSession::Click(int id) const { Post(main(), id); }
void ConsoleSession::Press(HWND dialog, int id) const { driver::PressButton(dialog, id, true); }
void ConsoleSession::Post(HWND dialog, int id) const { driver::PressButton(dialog, id); }
bool ConsoleSession::Enabled(int id) const { return driver::Enabled(main(), id); }
bool ConsoleSession::Visible(int id) const { return driver::Visible(main(), id); }

bool ConsoleSession::WaitEnabled(int id, bool enabled, DWORD timeoutMs) const {
  return WaitFor([&] { return Enabled(id) == enabled; }, timeoutMs);
}

std::string ConsoleSession::Text(HWND window, int id) const { return driver::Text(window, id); }

void ConsoleSession::SetText(HWND window, int id, const std::string& text) const {
  driver::SetText(window, id, text);
}

void ConsoleSession::SetAddress(int id, uint32_t address) const {
  driver::SetAddress(main(), id, address);
}

HWND ConsoleSession::WaitWindow(const char* title, DWORD timeoutMs) const {
  return driver::WaitTopWindow(title, pid(), timeoutMs);
}

bool ConsoleSession::WaitGone(HWND window, DWORD timeoutMs) const {
  return driver::WaitGone(window, timeoutMs);
}

HWND ConsoleSession::MessageBoxWindow() const { return driver::FindMessageBox("Netvane", pid()); }

std::string ConsoleSession::TakeMessage(DWORD timeoutMs) {
  return driver::TakeMessageBox("Netvane", pid(), timeoutMs);
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

std::vector<std::string> ConsoleSession::Log() const { return console_.Log(); }

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
  return WaitFor([&] { return LogContains(text); }, timeoutMs);
}

std::vector<std::string> ConsoleSession::HelpLaunches() const {
  return driver::ReadLines(helpLogPath_);
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
