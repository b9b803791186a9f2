// "Netvane.cfg": applied at start, written at close. It lives beside the program; a user who
// cannot write there (a console installed in Program Files) keeps a copy of his own in his
// application data, "%APPDATA%\Netvane\Netvane.cfg".
#include <shlobj.h>

#include <string>

#include "console/actions/console_config.h"
#include "console/actions/program_paths.h"
#include "console/main_dialog.h"
#include "console/resource.h"

namespace {

std::string ConfigPath() {
  char program[MAX_PATH + 1] = {};
  const DWORD length = GetModuleFileNameA(nullptr, program, MAX_PATH);
  if (length == 0 || length >= MAX_PATH) return {};
  return ConfigFilePath(std::string_view(program, length));
}

// The user's roaming application data, "Netvane" folder included; empty when unknown.
std::wstring UserConfigFolder() {
  PWSTR appData = nullptr;
  std::wstring folder;
  if (SUCCEEDED(SHGetKnownFolderPath(FOLDERID_RoamingAppData, 0, nullptr, &appData)))
    folder = std::wstring(appData) + L"\\Netvane";
  CoTaskMemFree(appData);
  return folder;
}

HANDLE OpenUserCopy(DWORD access, DWORD share, DWORD disposition) {
  const std::wstring folder = UserConfigFolder();
  if (folder.empty()) return INVALID_HANDLE_VALUE;
  if (disposition == CREATE_ALWAYS) CreateDirectoryW(folder.c_str(), nullptr);
  return CreateFileW((folder + L"\\Netvane.cfg").c_str(), access, share, nullptr, disposition,
                     FILE_ATTRIBUTE_NORMAL, nullptr);
}

// The file beside the program when the user can write it (it is the one saved at close);
// otherwise the user's own copy when it exists; otherwise the one beside the program as it
// stands (an administrator's defaults, read-only to users).
HANDLE OpenForLoad(const std::string& besideProgram) {
  HANDLE file = CreateFileA(besideProgram.c_str(), GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ,
                            nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file != INVALID_HANDLE_VALUE) return file;
  file = OpenUserCopy(GENERIC_READ, FILE_SHARE_READ, OPEN_EXISTING);
  if (file != INVALID_HANDLE_VALUE) return file;
  return CreateFileA(besideProgram.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                     FILE_ATTRIBUTE_NORMAL, nullptr);
}

// Beside the program when that works, else the user's own copy.
HANDLE OpenForSave(const std::string& besideProgram) {
  HANDLE file = INVALID_HANDLE_VALUE;
  if (!besideProgram.empty())
    file = CreateFileA(besideProgram.c_str(), GENERIC_WRITE, FILE_SHARE_WRITE, nullptr,
                       CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file != INVALID_HANDLE_VALUE) return file;
  return OpenUserCopy(GENERIC_WRITE, FILE_SHARE_WRITE, CREATE_ALWAYS);
}

}  // namespace

int MainDialog::LoadConfiguration() {
  const std::string path = ConfigPath();
  HANDLE file = path.empty() ? OpenUserCopy(GENERIC_READ, FILE_SHARE_READ, OPEN_EXISTING)
                             : OpenForLoad(path);
  if (file == INVALID_HANDLE_VALUE) return 0;
  uint8_t bytes[kConsoleConfigLength] = {};
  DWORD got = 0;
  const BOOL read = ReadFile(file, bytes, sizeof bytes, &got, nullptr);
  CloseHandle(file);
  ConsoleConfig config;
  // A cut file would leave some options undefined: the defaults stay for all of them.
  if (!read || !DecodeConsoleConfig(bytes, got, config)) return 0;

  // Applied as stored; the dialog's limits are for typing, not for this file.
  TVSetDiscoverTimeout(TransportOption(config.discoverTimeout));
  TVSetSetTimeout(TransportOption(config.setTimeout));
  TVSetRetryCount(TransportOption(config.retryCount));
  if (HWND list = Item(IDC_LST_HOSTS)) {
    for (std::size_t i = 0; i < kConfigColumnCount; ++i)
      ListView_SetColumnWidth(list, static_cast<int>(i),
                              ColumnWidthFromStored(config.columnWidths[i]));
  }
  return 1;
}

int MainDialog::SaveConfiguration() {
  ConsoleConfig config;
  config.discoverTimeout = static_cast<uint32_t>(TVGetDiscoverTimeout());
  config.setTimeout = static_cast<uint32_t>(TVGetSetTimeout());
  config.retryCount = static_cast<uint32_t>(TVGetRetryCount());
  if (HWND list = Item(IDC_LST_HOSTS)) {
    for (std::size_t i = 0; i < kConfigColumnCount; ++i)
      config.columnWidths[i] = ListView_GetColumnWidth(list, static_cast<int>(i));
  }
  const auto bytes = EncodeConsoleConfig(config);

  HANDLE file = OpenForSave(ConfigPath());
  if (file == INVALID_HANDLE_VALUE) return 0;
  DWORD written = 0;
  const BOOL wrote = WriteFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &written,
                               nullptr);
  CloseHandle(file);
  return wrote && written == bytes.size() ? 1 : 0;
}
