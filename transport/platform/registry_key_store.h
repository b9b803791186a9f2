// The agent's identity in the registry (Windows): the public key in REG_BINARY
// "IdentityPublicKey", the private key sealed by DPAPI for the local machine in
// "IdentityKey", under the agent's parameter key. Saving also cuts the key's DACL down to
// SYSTEM and Administrators (protected, nothing inherited), so the read access that service
// keys normally grant to every user is gone.
#pragma once

#ifdef _WIN32
#include <windows.h>

#include <string>

#include "transport/core/key_store.h"

namespace tavi {

class RegistryKeyStore : public KeyStore {
 public:
  // The agent uses HKLM and kAgentParameterKey; tests pass a key of their own.
  RegistryKeyStore(HKEY root = HKEY_LOCAL_MACHINE, std::wstring path = kAgentParameterKey);
  KeyLoad Load(Identity& out) override;
  bool Save(const Identity& identity) override;

 private:
  HKEY root_;
  std::wstring path_;
};

// The DACL Save applies, as SDDL: SYSTEM and Administrators full control, protected.
extern const wchar_t* const kIdentityKeySddl;

}  // namespace tavi
#endif
