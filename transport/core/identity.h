// An agent's long-term identity: an Ed25519 key pair. The public key is what consoles pin;
// its fingerprint is what an administrator compares by eye.
#pragma once

#include <cstdint>
#include <string>

#include "transport/core/crypto.h"
#include "transport/core/fingerprint.h"

namespace tavi {

struct Identity {
  crypto::Key seed{};       // Ed25519 private key (secret)
  crypto::Key publicKey{};

  void Wipe() { crypto::Wipe(seed); }
};

bool GenerateIdentity(Identity& out);
// True when seed and public key belong together (a signature made with one verifies with
// the other): a stored pair that fails this is damaged.
bool IdentityConsistent(const Identity& identity);

// SHA-256 of the 32-byte public key as 16 groups of 4 upper-case hex digits separated by
// spaces (79 characters), e.g. "9F3A 0C11 ...". Short groups are easy to read aloud and to
// compare against what the agent's host prints.
std::string FormatFingerprint(const uint8_t publicKey[crypto::kKeyLength]);
inline std::string FormatFingerprint(const crypto::Key& publicKey) {
  return FormatFingerprint(publicKey.data());
}

}  // namespace tavi
