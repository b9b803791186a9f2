// Where an agent keeps its identity between runs. The Windows store
// (platform/registry_key_store_win) seals the private key with DPAPI for the service's own
// account (SYSTEM), under its own key (identity_location.h); tests use MemoryKeyStore.
#pragma once

#include <optional>
#include <vector>

#include "transport/core/identity.h"
#include "transport/core/identity_location.h"

namespace tavi {

// Loaded; LoadedLegacy: loaded, but sealed the way earlier versions did (to be sealed again);
// Missing: nothing stored; Damaged: stored but unusable for good (does not unseal, wrong
// lengths, or the key's access list let others write it); Unavailable: could not be read
// this time (access refused, the system's sealing not ready, a registry error), which
// says nothing about the stored key.
enum class KeyLoad { Loaded, LoadedLegacy, Missing, Damaged, Unavailable };

class KeyStore {
 public:
  virtual ~KeyStore() = default;
  virtual KeyLoad Load(Identity& out) = 0;
  virtual bool Save(const Identity& identity) = 0;
};

// The stored identity (one sealed the old way is sealed again, same key); a new one, saved,
// only when none is stored or the stored one is damaged (or its halves do not belong
// together). False when the store is unavailable (a new key then would be a new identity
// for every console, for a passing fault), or no identity can be had, or the new one cannot
// be kept: an agent whose key would change on every start must not run.
bool LoadOrCreateIdentity(KeyStore& store, Identity& out);

// In memory, for tests and for simulated agents: `sealed` is what a real store would write.
class MemoryKeyStore : public KeyStore {
 public:
  KeyLoad Load(Identity& out) override;
  bool Save(const Identity& identity) override;

  std::vector<uint8_t> stored;  // seed then public key; empty = nothing stored
  bool failSave = false;
  bool unavailable = false;  // Load reports a passing read failure
  bool legacy = false;       // Load reports the old sealing until the next save
  int saves = 0;
};

}  // namespace tavi
