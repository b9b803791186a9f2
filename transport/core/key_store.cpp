#include "transport/core/key_store.h"

#include <algorithm>

namespace tavi {

bool LoadOrCreateIdentity(KeyStore& store, Identity& out) {
  Identity identity;
  const KeyLoad load = store.Load(identity);
  if (load == KeyLoad::Unavailable) {
    identity.Wipe();
    return false;
  }
  if ((load == KeyLoad::Loaded || load == KeyLoad::LoadedLegacy) && IdentityConsistent(identity)) {
    // Sealed again in the current way; should that fail the key still serves, and the next
    // start tries again.
    if (load == KeyLoad::LoadedLegacy) store.Save(identity);
    out = identity;
    identity.Wipe();
    return true;
  }
  identity.Wipe();
  if (!GenerateIdentity(identity) || !store.Save(identity)) {
    identity.Wipe();
    return false;
  }
  out = identity;
  identity.Wipe();
  return true;
}

KeyLoad MemoryKeyStore::Load(Identity& out) {
  if (unavailable) return KeyLoad::Unavailable;
  if (stored.empty()) return KeyLoad::Missing;
  if (stored.size() != 2 * crypto::kKeyLength) return KeyLoad::Damaged;
  std::copy_n(stored.begin(), crypto::kKeyLength, out.seed.begin());
  std::copy_n(stored.begin() + crypto::kKeyLength, crypto::kKeyLength, out.publicKey.begin());
  return legacy ? KeyLoad::LoadedLegacy : KeyLoad::Loaded;
}

bool MemoryKeyStore::Save(const Identity& identity) {
  if (failSave) return false;
  stored.assign(identity.seed.begin(), identity.seed.end());
  stored.insert(stored.end(), identity.publicKey.begin(), identity.publicKey.end());
  legacy = false;
  ++saves;
  return true;
}

}  // namespace tavi
