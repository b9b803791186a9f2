#include "console/core/config_store.h"

#include <windows.h>
#include <shlobj.h>

#include <string>

#include "TaviClient.h"
#include "console/core/program_paths.h"

namespace {

std::string BesideProgram() {
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

HANDLE OpenForRead(const std::string& besideProgram) {
  if (besideProgram.empty()) return OpenUserCopy(GENERIC_READ, FILE_SHARE_READ, OPEN_EXISTING);
  HANDLE file = CreateFileA(besideProgram.c_str(), GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ,
                            nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file != INVALID_HANDLE_VALUE) return file;
  file = OpenUserCopy(GENERIC_READ, FILE_SHARE_READ, OPEN_EXISTING);
  if (file != INVALID_HANDLE_VALUE) return file;
  return CreateFileA(besideProgram.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                     FILE_ATTRIBUTE_NORMAL, nullptr);
}

HANDLE OpenForWrite(const std::string& besideProgram) {
  HANDLE file = INVALID_HANDLE_VALUE;
  if (!besideProgram.empty())
    file = CreateFileA(besideProgram.c_str(), GENERIC_WRITE, FILE_SHARE_WRITE, nullptr,
                       CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file != INVALID_HANDLE_VALUE) return file;
  return OpenUserCopy(GENERIC_WRITE, FILE_SHARE_WRITE, CREATE_ALWAYS);
}

}  // namespace

bool ReadConsoleConfig(ConsoleConfig& config) {
  HANDLE file = OpenForRead(BesideProgram());
  if (file == INVALID_HANDLE_VALUE) return false;
  uint8_t bytes[kConsoleConfigLength] = {};
  DWORD got = 0;
  const BOOL read = ReadFile(file, bytes, sizeof bytes, &got, nullptr);
  CloseHandle(file);
  return read && DecodeConsoleConfig(bytes, got, config);
}

bool WriteConsoleConfig(const ConsoleConfig& config) {
  const auto bytes = EncodeConsoleConfig(config);
  HANDLE file = OpenForWrite(BesideProgram());
  if (file == INVALID_HANDLE_VALUE) return false;
  DWORD written = 0;
  const BOOL wrote = WriteFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &written,
                               nullptr);
  CloseHandle(file);
  return wrote && written == bytes.size();
}

void ApplyTransportOptions(const ConsoleConfig& config) {
  TVSetDiscoverTimeout(TransportOption(config.discoverTimeout));
  TVSetSetTimeout(TransportOption(config.setTimeout));
  TVSetRetryCount(TransportOption(config.retryCount));
}
