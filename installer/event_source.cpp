#include "installer/event_source.h"

#include <cwchar>

LONG RegisterAgentEventSource(const wchar_t* agentProgram) {
  HKEY key = nullptr;
  LONG result = RegCreateKeyExW(HKEY_LOCAL_MACHINE, kEventSourceKey, 0, nullptr, 0, KEY_SET_VALUE,
                                nullptr, &key, nullptr);
  if (result != ERROR_SUCCESS) return result;
  const DWORD bytes = static_cast<DWORD>((std::wcslen(agentProgram) + 1) * sizeof(wchar_t));
  result = RegSetValueExW(key, L"EventMessageFile", 0, REG_EXPAND_SZ,
                          reinterpret_cast<const BYTE*>(agentProgram), bytes);
  if (result == ERROR_SUCCESS) {
    const DWORD types = kEventTypesSupported;
    result = RegSetValueExW(key, L"TypesSupported", 0, REG_DWORD,
                            reinterpret_cast<const BYTE*>(&types), sizeof types);
  }
  RegCloseKey(key);
  return result;
}

LONG RemoveAgentEventSource() {
  const LONG result = RegDeleteKeyW(HKEY_LOCAL_MACHINE, kEventSourceKey);
  return result == ERROR_FILE_NOT_FOUND ? ERROR_SUCCESS : result;
}
