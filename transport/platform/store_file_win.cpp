#include "transport/platform/store_file.h"

#include <windows.h>
#include <knownfolders.h>
#include <shlobj.h>

#include <algorithm>
#include <vector>

#include "transport/core/crypto.h"

namespace tavi {

namespace {

std::wstring Wide(const std::string& text) {
  if (text.empty()) return std::wstring();
  const int n = MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, text.data(),
                                    static_cast<int>(text.size()), nullptr, 0);
  if (n <= 0) return std::wstring();
  std::wstring out(static_cast<std::size_t>(n), L'\0');
  MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, text.data(), static_cast<int>(text.size()),
                      out.data(), n);
  return out;
}

std::string Utf8(const wchar_t* text) {
  if (text == nullptr || *text == L'\0') return std::string();
  const int n = WideCharToMultiByte(CP_UTF8, 0, text, -1, nullptr, 0, nullptr, nullptr);
  if (n <= 1) return std::string();
  std::string out(static_cast<std::size_t>(n), '\0');
  WideCharToMultiByte(CP_UTF8, 0, text, -1, out.data(), n, nullptr, nullptr);
  out.resize(static_cast<std::size_t>(n - 1));
  return out;
}

std::string ErrorText(const char* what, DWORD error) {
  return std::string(what) + " (error " + std::to_string(error) + ")";
}

std::wstring UniqueSuffix() {
  uint8_t random[8] = {};
  crypto::Random(random, sizeof random);  // CREATE_NEW refuses a clash in any case
  static const wchar_t kHex[] = L"0123456789abcdef";
  std::wstring out = L"." + std::to_wstring(GetCurrentProcessId()) + L".";
  for (uint8_t b : random) {
    out.push_back(kHex[b >> 4]);
    out.push_back(kHex[b & 15]);
  }
  return out + L".tmp";
}

}  // namespace

FileRead ReadWholeFile(const std::string& path, std::size_t limit, std::string& out,
                       std::string& why) {
  out.clear();
  const std::wstring wide = Wide(path);
  if (wide.empty()) {
    why = "has a name that is not UTF-8";
    return FileRead::Failed;
  }
  // Others may read, and replace it by a rename, while it is open.
  HANDLE file = CreateFileW(wide.c_str(), GENERIC_READ,
                            FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                            OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) {
    const DWORD error = GetLastError();
    if (error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND) return FileRead::Missing;
    why = ErrorText("cannot be opened", error);
    return FileRead::Failed;
  }
  LARGE_INTEGER size{};
  bool ok = GetFileSizeEx(file, &size) != 0;
  if (!ok) {
    why = ErrorText("cannot be read", GetLastError());
  } else if (static_cast<unsigned long long>(size.QuadPart) > limit) {
    why = "is larger than " + std::to_string(limit) + " bytes";
    ok = false;
  }
  char buffer[8192];
  while (ok) {
    DWORD n = 0;
    if (!ReadFile(file, buffer, sizeof buffer, &n, nullptr)) {
      why = ErrorText("cannot be read", GetLastError());
      ok = false;
    } else if (n == 0) {
      break;
    } else if (out.size() + n > limit) {
      why = "is larger than " + std::to_string(limit) + " bytes";
      ok = false;
    } else {
      out.append(buffer, n);
    }
  }
  CloseHandle(file);
  return ok ? FileRead::Ok : FileRead::Failed;
}

bool ReplaceWholeFile(const std::string& path, const std::string& content, std::string& why) {
  const std::wstring target = Wide(path);
  if (target.empty()) {
    why = "has a name that is not UTF-8";
    return false;
  }
  const std::wstring temporary = target + UniqueSuffix();
  HANDLE file = CreateFileW(temporary.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                            FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) {
    why = ErrorText("temporary file cannot be made", GetLastError());
    return false;
  }
  bool ok = true;
  std::size_t done = 0;
  while (ok && done < content.size()) {
    DWORD n = 0;
    const DWORD chunk = static_cast<DWORD>(std::min<std::size_t>(content.size() - done, 1 << 20));
    if (!WriteFile(file, content.data() + done, chunk, &n, nullptr) || n == 0) {
      why = ErrorText("cannot be written", GetLastError());
      ok = false;
    }
    done += n;
  }
  if (ok && !FlushFileBuffers(file)) {
    why = ErrorText("cannot be flushed", GetLastError());
    ok = false;
  }
  CloseHandle(file);
  if (ok && !MoveFileExW(temporary.c_str(), target.c_str(),
                         MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
    why = ErrorText("cannot be replaced", GetLastError());
    ok = false;
  }
  if (!ok) DeleteFileW(temporary.c_str());
  return ok;
}

StoreLock::StoreLock(const std::string& path, bool exclusive) {
  const std::wstring wide = Wide(path + ".lock");
  if (wide.empty()) return;
  HANDLE file = CreateFileW(wide.c_str(), GENERIC_READ | GENERIC_WRITE,
                            FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                            OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) {
    noFolder_ = GetLastError() == ERROR_PATH_NOT_FOUND;
    return;
  }
  handle_ = file;
  // Locks belong to the handle: a second store in this process waits as another program does.
  const DWORD flags = (exclusive ? LOCKFILE_EXCLUSIVE_LOCK : 0) | LOCKFILE_FAIL_IMMEDIATELY;
  for (int waited = 0; waited <= kWaitMilliseconds; waited += 10) {
    OVERLAPPED at{};
    if (LockFileEx(file, flags, 0, 1, 0, &at)) {
      held_ = true;
      return;
    }
    if (GetLastError() != ERROR_LOCK_VIOLATION && GetLastError() != ERROR_IO_PENDING) break;
    Sleep(10);
  }
}

StoreLock::~StoreLock() {
  if (handle_ == nullptr) return;
  if (held_) {
    OVERLAPPED at{};
    UnlockFileEx(static_cast<HANDLE>(handle_), 0, 1, 0, &at);
  }
  CloseHandle(static_cast<HANDLE>(handle_));
}

std::string UserSettingsFolder() {
  PWSTR roaming = nullptr;
  if (FAILED(SHGetKnownFolderPath(FOLDERID_RoamingAppData, KF_FLAG_CREATE, nullptr, &roaming))) {
    CoTaskMemFree(roaming);
    return std::string();
  }
  const std::wstring folder = std::wstring(roaming) + L"\\Netvane";
  CoTaskMemFree(roaming);
  CreateDirectoryW(folder.c_str(), nullptr);
  return Utf8(folder.c_str());
}

std::string UserSettingsFile(const char* name) {
  const std::string folder = UserSettingsFolder();
  return folder.empty() ? folder : folder + "\\" + name;
}

std::string EnvironmentText(const char* name) {
  const std::wstring wideName = Wide(name);
  const DWORD needed = GetEnvironmentVariableW(wideName.c_str(), nullptr, 0);
  if (needed == 0) return std::string();
  std::vector<wchar_t> value(needed + 1, L'\0');
  const DWORD n = GetEnvironmentVariableW(wideName.c_str(), value.data(), needed + 1);
  if (n == 0 || n > needed) return std::string();
  return Utf8(value.data());
}

}  // namespace tavi
