#include "installer/agent_key.h"

#include <windows.h>

bool ReadAgentPublicKey(AgentPublicKey& key) {
  HKEY parameters = nullptr;
  if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, kAgentParameterKey, 0, KEY_QUERY_VALUE, &parameters) !=
      ERROR_SUCCESS)
    return false;
  // One byte more than a key, so that a longer value is seen as such instead of cut.
  uint8_t bytes[kAgentPublicKeyLength + 1] = {};
  DWORD type = 0;
  DWORD size = sizeof bytes;
  const LONG result =
      RegQueryValueExW(parameters, kIdentityPublicKeyValue, nullptr, &type, bytes, &size);
  RegCloseKey(parameters);
  if (result != ERROR_SUCCESS || type != REG_BINARY || size != kAgentPublicKeyLength)
    return false;
  for (std::size_t i = 0; i < key.size(); ++i) key[i] = bytes[i];
  return true;
}

void DeleteAgentKey() {
  HKEY parameters = nullptr;
  if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, kAgentParameterKey, 0, KEY_SET_VALUE, &parameters) !=
      ERROR_SUCCESS)
    return;
  RegDeleteValueW(parameters, kIdentityKeyValue);
  RegDeleteValueW(parameters, kIdentityPublicKeyValue);
  RegCloseKey(parameters);
}
