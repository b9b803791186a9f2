// The agent's identity in the registry (Windows): the public key in REG_BINARY
// "IdentityPublicKey", the private key sealed by DPAPI for the account the agent runs as
// (LocalSystem: only SYSTEM unseals it) in "IdentityKey", under the agent's identity key.
// Saving cuts the key's DACL down to SYSTEM and Administrators (protected, nothing
// inherited), so the read access that service keys normally grant to every user is gone;
// every load checks it again: a key others may read gets that DACL back, one others may
// write is also treated as damaged. A key sealed for the machine (earlier versions) loads as
// LoadedLegacy and is sealed again. One found only where earlier versions kept it (the
// service's parameter key, deleted with the service) is moved to the identity key.
#pragma once

#ifdef _WIN32
#include <windows.h>

#include <string>
#include <vector>

#include "transport/core/key_store.h"

namespace tavi {

class RegistryKeyStore : public KeyStore {
 public:
  // The agent uses HKLM, kAgentIdentityKey and kLegacyIdentityKey; tests pass keys of their
  // own. An empty legacyPath: nothing to move.
  RegistryKeyStore(HKEY root = HKEY_LOCAL_MACHINE, std::wstring path = kAgentIdentityKey,
                   std::wstring legacyPath = kLegacyIdentityKey);
  KeyLoad Load(Identity& out) override;
  bool Save(const Identity& identity) override;

 private:
  KeyLoad LoadFrom(const std::wstring& path, Identity& out);
  KeyLoad MoveFromLegacy(Identity& out);

  HKEY root_;
  std::wstring path_;
  std::wstring legacyPath_;
};

// The DACL Save applies, as SDDL: SYSTEM and Administrators full control, protected.
extern const wchar_t* const kIdentityKeySddl;
bool RestrictIdentityKey(HKEY key);

// Service: for the calling account (what Save writes). LegacyMachine: as earlier versions
// wrote it, for the machine (kept for upgrade tests).
enum class SealScope { Service, LegacyMachine };
bool SealIdentitySeed(const crypto::Key& seed, SealScope scope, std::vector<uint8_t>& sealed);

}  // namespace tavi
#endif
