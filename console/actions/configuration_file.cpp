// "Netvane.cfg" beside the program: applied at start, written at close.
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

}  // namespace

int MainDialog::LoadConfiguration() {
  const std::string path = ConfigPath();
  if (path.empty()) return 0;
  HANDLE file = CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                            FILE_ATTRIBUTE_NORMAL, nullptr);
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
  const std::string path = ConfigPath();
  if (path.empty()) return 0;
  ConsoleConfig config;
  config.discoverTimeout = static_cast<uint32_t>(TVGetDiscoverTimeout());
  config.setTimeout = static_cast<uint32_t>(TVGetSetTimeout());
  config.retryCount = static_cast<uint32_t>(TVGetRetryCount());
  if (HWND list = Item(IDC_LST_HOSTS)) {
    for (std::size_t i = 0; i < kConfigColumnCount; ++i)
      config.columnWidths[i] = ListView_GetColumnWidth(list, static_cast<int>(i));
  }
  const auto bytes = EncodeConsoleConfig(config);

  HANDLE file = CreateFileA(path.c_str(), GENERIC_WRITE, FILE_SHARE_WRITE, nullptr, CREATE_ALWAYS,
                            FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return 0;
  DWORD written = 0;
  const BOOL wrote = WriteFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &written,
                               nullptr);
  CloseHandle(file);
  return wrote && written == bytes.size() ? 1 : 0;
}
