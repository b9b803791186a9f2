#include "transport/core/identity.h"

namespace tavi {

bool GenerateIdentity(Identity& out) {
  Identity fresh;
  if (!crypto::Ed25519KeyPair(fresh.seed, fresh.publicKey) || !IdentityConsistent(fresh)) {
    fresh.Wipe();
    return false;
  }
  out = fresh;
  fresh.Wipe();
  return true;
}

bool IdentityConsistent(const Identity& identity) {
  static const uint8_t kProbe[] = "identity self-test";
  crypto::Signature signature{};
  return crypto::Ed25519Sign(identity.seed, identity.publicKey, kProbe, sizeof kProbe,
                             signature) &&
         crypto::Ed25519Verify(identity.publicKey, kProbe, sizeof kProbe, signature);
}

std::string FormatFingerprint(const uint8_t publicKey[crypto::kKeyLength]) {
  static const char kHex[] = "0123456789ABCDEF";
  const crypto::Digest digest = crypto::Sha256(publicKey, crypto::kKeyLength);
  std::string text;
  text.reserve(79);
  for (std::size_t i = 0; i < digest.size(); ++i) {
    if (i > 0 && i % 2 == 0) text.push_back(' ');
    text.push_back(kHex[digest[i] >> 4]);
    text.push_back(kHex[digest[i] & 0x0F]);
  }
  return text;
}

std::string FormatFingerprint(const uint8_t* publicKey, std::size_t length) {
  if (publicKey == nullptr || length != crypto::kKeyLength) return std::string();
  return FormatFingerprint(publicKey);
}

}  // namespace tavi
