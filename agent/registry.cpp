#include "agent/registry.h"

#include <cstring>
#include <cwchar>
#include <new>

namespace {
const char kInterfacesKey[] = "SYSTEM\\CurrentControlSet\\Services\\Tcpip\\Parameters\\Interfaces";
}

int OpenInterfaceKey(const wchar_t* adapterName, HKEY* key) {
  if (adapterName == nullptr || key == nullptr) return 0;
  *key = nullptr;
  const wchar_t* guid = std::wcschr(adapterName, L'{');
  if (guid == nullptr) return 0;

  char guidText[260];
  std::memset(guidText, 0, sizeof guidText);
  if (WideCharToMultiByte(CP_ACP, 0, guid, -1, guidText, sizeof guidText - 1, nullptr,
                          nullptr) == 0)
    return 0;

  char path[sizeof kInterfacesKey + sizeof guidText + 1];
  std::memset(path, 0, sizeof path);
  std::strcpy(path, kInterfacesKey);
  std::strcat(path, "\\");
  std::strcat(path, guidText);
  HKEY opened = nullptr;
  if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, path, 0, KEY_READ | KEY_WRITE, &opened) != ERROR_SUCCESS)
    return 0;
  *key = opened;
  return 1;
}

int ReadRegValue(HKEY key, const char* valueName, void* buffer, DWORD capacity) {
  if (key == nullptr || valueName == nullptr || buffer == nullptr) return 0;
  DWORD size = capacity;
  return RegQueryValueExA(key, valueName, nullptr, nullptr, static_cast<BYTE*>(buffer), &size) ==
                 ERROR_SUCCESS
             ? 1
             : 0;
}

int WriteRegValue(HKEY key, const char* valueName, DWORD type, const void* data, DWORD size) {
  if (key == nullptr || valueName == nullptr || data == nullptr) return 0;
  if (size != 0)
    return RegSetValueExA(key, valueName, 0, type, static_cast<const BYTE*>(data), size) ==
                   ERROR_SUCCESS
               ? 1
               : 0;

  // A string: its terminator, and for a one-string multi-string a second zero byte.
  const char* text = static_cast<const char*>(data);
  const std::size_t length = std::strlen(text);
  const std::size_t stored = length + (type == REG_MULTI_SZ ? 2 : 1);
  if (stored > 0xFFFFFFFFu) return 0;
  BYTE* copy = new (std::nothrow) BYTE[stored];
  if (copy == nullptr) return 0;
  std::memset(copy, 0, stored);
  std::memcpy(copy, text, length);
  const LONG result =
      RegSetValueExA(key, valueName, 0, type, copy, static_cast<DWORD>(stored));
  delete[] copy;
  return result == ERROR_SUCCESS ? 1 : 0;
}

int ReadRegDword(HKEY key, const char* valueName, DWORD* value) {
  if (key == nullptr || valueName == nullptr || value == nullptr) return 0;
  DWORD type = 0;
  DWORD data = 0;
  DWORD size = sizeof data;
  if (RegQueryValueExA(key, valueName, nullptr, &type, reinterpret_cast<BYTE*>(&data), &size) !=
          ERROR_SUCCESS ||
      type != REG_DWORD || size != sizeof data)
    return 0;
  *value = data;
  return 1;
}

bool ReadRegRaw(HKEY key, const char* valueName, DWORD* type, std::vector<BYTE>& data) {
  data.clear();
  if (key == nullptr || valueName == nullptr || type == nullptr) return false;
  for (int attempt = 0; attempt < 3; ++attempt) {
    DWORD size = 0;
    if (RegQueryValueExA(key, valueName, nullptr, type, nullptr, &size) != ERROR_SUCCESS)
      return false;
    data.assign(size, 0);
    const LONG result = RegQueryValueExA(key, valueName, nullptr, type,
                                         data.empty() ? nullptr : data.data(), &size);
    if (result == ERROR_SUCCESS) {
      data.resize(size);
      return true;
    }
    if (result != ERROR_MORE_DATA) return false;  // grew between the two reads: again
  }
  return false;
}

int DeleteRegValue(HKEY key, const char* valueName) {
  if (key == nullptr || valueName == nullptr) return 0;
  const LONG result = RegDeleteValueA(key, valueName);
  return result == ERROR_SUCCESS || result == ERROR_FILE_NOT_FOUND ? 1 : 0;
}
