// Where an agent keeps its identity between runs. The Windows store (server/key_store_win)
// seals the private key with DPAPI for the machine, under the agent's parameter key; tests
// use MemoryKeyStore.
#pragma once

#include <optional>
#include <vector>

#include "transport/core/identity.h"

namespace tavi {

// Registry names of the agent's identity, under HKEY_LOCAL_MACHINE. TaviTool reads the
// public value to print the fingerprint and deletes both values.
constexpr const wchar_t* kAgentParameterKey = L"SYSTEM\\CurrentControlSet\\Services\\TaviAgent\\Parameter";
constexpr const wchar_t* kIdentityPublicKeyValue = L"IdentityPublicKey";  // REG_BINARY, 32 bytes
constexpr const wchar_t* kIdentityKeyValue = L"IdentityKey";  // REG_BINARY, sealed seed

enum class KeyLoad { Loaded, Missing, Damaged };

class KeyStore {
 public:
  virtual ~KeyStore() = default;
  virtual KeyLoad Load(Identity& out) = 0;
  virtual bool Save(const Identity& identity) = 0;
};

// The stored identity; a new one, saved, when none is stored or the stored one is damaged
// (unsealing failed, lengths wrong, or the halves do not belong together). False when no
// identity can be had or the new one cannot be kept: an agent whose key would change on
// every start must not run.
bool LoadOrCreateIdentity(KeyStore& store, Identity& out);

// In memory, for tests and for simulated agents: `sealed` is what a real store would write.
class MemoryKeyStore : public KeyStore {
 public:
  KeyLoad Load(Identity& out) override;
  bool Save(const Identity& identity) override;

  std::vector<uint8_t> stored;  // seed then public key; empty = nothing stored
  bool failSave = false;
  int saves = 0;
};

}  // namespace tavi
