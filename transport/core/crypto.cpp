#include "transport/core/crypto.h"

#include <sodium.h>

#include <cstring>
#include <mutex>

namespace tavi::crypto {

static_assert(kKeyLength == crypto_sign_SEEDBYTES && kKeyLength == crypto_sign_PUBLICKEYBYTES &&
              kKeyLength == crypto_scalarmult_BYTES && kKeyLength == crypto_scalarmult_SCALARBYTES &&
              kKeyLength == crypto_aead_chacha20poly1305_ietf_KEYBYTES &&
              kKeyLength == crypto_hash_sha256_BYTES && kKeyLength == crypto_auth_hmacsha256_BYTES);
static_assert(kSignatureLength == crypto_sign_BYTES);
static_assert(kTagLength == crypto_aead_chacha20poly1305_ietf_ABYTES);
static_assert(kAeadNonceLength == crypto_aead_chacha20poly1305_ietf_NPUBBYTES);

bool Initialise() {
  static std::once_flag once;
  static bool ready = false;
  std::call_once(once, [] { ready = sodium_init() >= 0; });
  return ready;
}

void Random(uint8_t* out, std::size_t length) {
  if (length == 0) return;
  Initialise();
  randombytes_buf(out, length);
}

Digest Sha256(const uint8_t* data, std::size_t length) {
  Initialise();
  Digest digest{};
  crypto_hash_sha256(digest.data(), data, length);
  return digest;
}

Digest HmacSha256(const uint8_t* key, std::size_t keyLength, const uint8_t* data,
                  std::size_t length) {
  Initialise();
  Digest mac{};
  crypto_auth_hmacsha256_state state;
  crypto_auth_hmacsha256_init(&state, key, keyLength);
  crypto_auth_hmacsha256_update(&state, data, length);
  crypto_auth_hmacsha256_final(&state, mac.data());
  Wipe(&state, sizeof state);
  return mac;
}

bool Hkdf(const uint8_t* salt, std::size_t saltLength, const uint8_t* ikm, std::size_t ikmLength,
          const uint8_t* info, std::size_t infoLength, uint8_t* out, std::size_t length) {
  if (length > 255 * kKeyLength || out == nullptr) return false;
  // An absent salt is HashLen zero bytes (RFC 5869 2.2).
  const uint8_t zeros[kKeyLength] = {};
  if (saltLength == 0) {
    salt = zeros;
    saltLength = sizeof zeros;
  }
  Digest prk = HmacSha256(salt, saltLength, ikm, ikmLength);
  std::vector<uint8_t> block;
  Digest t{};
  std::size_t tLength = 0;
  for (uint8_t counter = 1; length > 0; ++counter) {
    block.assign(t.begin(), t.begin() + static_cast<std::ptrdiff_t>(tLength));
    block.insert(block.end(), info, info + infoLength);
    block.push_back(counter);
    t = HmacSha256(prk.data(), prk.size(), block.data(), block.size());
    tLength = t.size();
    const std::size_t part = std::min(length, t.size());
    std::memcpy(out, t.data(), part);
    out += part;
    length -= part;
  }
  Wipe(prk);
  Wipe(t);
  Wipe(block.data(), block.size());
  return true;
}

bool X25519KeyPair(Key& privateKey, Key& publicKey) {
  if (!Initialise()) return false;
  Random(privateKey.data(), privateKey.size());
  return crypto_scalarmult_base(publicKey.data(), privateKey.data()) == 0;
}

bool X25519(const Key& privateKey, const Key& peerPublic, Key& shared) {
  if (!Initialise()) return false;
  // libsodium refuses a result of all zeros, which a low-order point gives: the peer would
  // know the "secret" too (RFC 7748 6.1). Checked once more here, since it costs nothing.
  uint8_t any = 0;
  if (crypto_scalarmult(shared.data(), privateKey.data(), peerPublic.data()) == 0)
    for (uint8_t b : shared) any |= b;
  if (any == 0) Wipe(shared);
  return any != 0;
}

bool AeadSeal(const Key& key, const uint8_t nonce[kAeadNonceLength], const uint8_t* ad,
              std::size_t adLength, const uint8_t* plain, std::size_t length,
              std::vector<uint8_t>& out) {
  // libsodium aborts the process beyond its limit; we refuse instead.
  if (!Initialise() || length > crypto_aead_chacha20poly1305_ietf_MESSAGEBYTES_MAX ||
      (plain == nullptr && length != 0))
    return false;
  std::vector<uint8_t> sealed(length + kTagLength);
  unsigned long long n = 0;
  if (crypto_aead_chacha20poly1305_ietf_encrypt(sealed.data(), &n, plain, length, ad, adLength,
                                                nullptr, nonce, key.data()) != 0 ||
      n != sealed.size())
    return false;
  out = std::move(sealed);
  return true;
}

bool AeadOpen(const Key& key, const uint8_t nonce[kAeadNonceLength], const uint8_t* ad,
              std::size_t adLength, const uint8_t* sealed, std::size_t length,
              std::vector<uint8_t>& plain) {
  if (!Initialise() || sealed == nullptr || length < kTagLength ||
      length - kTagLength > crypto_aead_chacha20poly1305_ietf_MESSAGEBYTES_MAX)
    return false;
  // libsodium checks the tag before it decrypts; `out` keeps even that away from `plain`.
  std::vector<uint8_t> out(length - kTagLength);
  unsigned long long n = 0;
  if (crypto_aead_chacha20poly1305_ietf_decrypt(out.data(), &n, nullptr, sealed, length, ad,
                                                adLength, nonce, key.data()) != 0 ||
      n != out.size()) {
    Wipe(out.data(), out.size());
    return false;
  }
  plain = std::move(out);
  return true;
}

bool Ed25519KeyPair(Key& seed, Key& publicKey) {
  if (!Initialise()) return false;
  Random(seed.data(), seed.size());
  uint8_t secret[crypto_sign_SECRETKEYBYTES];
  const bool ok = crypto_sign_seed_keypair(publicKey.data(), secret, seed.data()) == 0;
  Wipe(secret, sizeof secret);
  return ok;
}

bool Ed25519Sign(const Key& seed, const Key& publicKey, const uint8_t* message,
                 std::size_t length, Signature& signature) {
  if (!Initialise()) return false;
  // The public key that goes into the signature is derived from the seed here, never taken
  // from the caller: signing one message under two public keys would give the seed away.
  uint8_t secret[crypto_sign_SECRETKEYBYTES];
  Key derived{};
  bool ok = crypto_sign_seed_keypair(derived.data(), secret, seed.data()) == 0 &&
            sodium_memcmp(derived.data(), publicKey.data(), derived.size()) == 0 &&
            crypto_sign_detached(signature.data(), nullptr, message, length, secret) == 0;
  Wipe(secret, sizeof secret);
  if (!ok) signature.fill(0);
  return ok;
}

bool Ed25519Verify(const Key& publicKey, const uint8_t* message, std::size_t length,
                   const Signature& signature) {
  if (!Initialise()) return false;
  // libsodium refuses a key or R of small order, a non-canonical key or S, and bytes that are
  // no curve point, before any arithmetic: a key off the wire can only fail the check.
  return crypto_sign_verify_detached(signature.data(), message, length, publicKey.data()) == 0;
}

bool Equal(const uint8_t* a, const uint8_t* b, std::size_t length) {
  return sodium_memcmp(a, b, length) == 0;
}

}  // namespace tavi::crypto
