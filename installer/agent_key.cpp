#include "installer/agent_key.h"

#include <windows.h>

#include <string>

namespace {

// `present`: there is a value (or it could not be read), so no other place is asked.
bool ReadPublicKeyAt(const wchar_t* path, AgentPublicKey& key, bool& present) {
  HKEY parameters = nullptr;
  const LONG opened = RegOpenKeyExW(HKEY_LOCAL_MACHINE, path, 0, KEY_QUERY_VALUE, &parameters);
  present = opened != ERROR_FILE_NOT_FOUND;
  if (opened != ERROR_SUCCESS) return false;
  // One byte more than a key, so that a longer value is seen as such instead of cut.
  uint8_t bytes[kAgentPublicKeyLength + 1] = {};
  DWORD type = 0;
  DWORD size = sizeof bytes;
  const LONG result =
      RegQueryValueExW(parameters, tavi::kIdentityPublicKeyValue, nullptr, &type, bytes, &size);
  RegCloseKey(parameters);
  present = result != ERROR_FILE_NOT_FOUND;
  if (result != ERROR_SUCCESS || type != REG_BINARY || size != kAgentPublicKeyLength)
    return false;
  for (std::size_t i = 0; i < key.size(); ++i) key[i] = bytes[i];
  return true;
}

void DeleteValuesAt(const wchar_t* path) {
  HKEY parameters = nullptr;
  if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, path, 0, KEY_SET_VALUE, &parameters) != ERROR_SUCCESS)
    return;
  RegDeleteValueW(parameters, tavi::kIdentityKeyValue);
  RegDeleteValueW(parameters, tavi::kIdentityPublicKeyValue);
  RegCloseKey(parameters);
}

// Deletes the key only when it holds no value and no subkey: the company's key may hold the
// console's values, and a value we do not know is not ours to remove.
bool DeleteKeyIfEmpty(const std::wstring& path) {
  HKEY key = nullptr;
  if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, path.c_str(), 0, KEY_QUERY_VALUE, &key) != ERROR_SUCCESS)
    return false;
  DWORD subkeys = 0, values = 0;
  const bool empty = RegQueryInfoKeyW(key, nullptr, nullptr, nullptr, &subkeys, nullptr, nullptr,
                                      &values, nullptr, nullptr, nullptr, nullptr) ==
                         ERROR_SUCCESS &&
                     subkeys == 0 && values == 0;
  RegCloseKey(key);
  return empty && RegDeleteKeyExW(HKEY_LOCAL_MACHINE, path.c_str(), KEY_WOW64_64KEY, 0) ==
                      ERROR_SUCCESS;
}

}  // namespace

bool ReadAgentPublicKey(AgentPublicKey& key) {
  // The earlier place only while the agent has not moved the key: as the agent reads it.
  bool present = false;
  if (ReadPublicKeyAt(tavi::kAgentIdentityKey, key, present)) return true;
  return !present && ReadPublicKeyAt(tavi::kLegacyIdentityKey, key, present);
}

void DeleteAgentKey() {
  DeleteValuesAt(tavi::kLegacyIdentityKey);
  DeleteValuesAt(tavi::kAgentIdentityKey);
  // The identity key, then the product's and the company's keys above it while they are empty.
  std::wstring path = tavi::kAgentIdentityKey;
  while (path != L"SOFTWARE" && DeleteKeyIfEmpty(path)) path.resize(path.rfind(L'\\'));
}
