// The channel's cryptography, all of it from libsodium: SHA-256, HMAC-SHA256 and HKDF-SHA256
// composed from it (RFC 5869), X25519 key agreement, ChaCha20-Poly1305 (IETF) and Ed25519
// signatures; random values from the system's CSPRNG through libsodium. Functions return
// false on any failure and never leave a partial result that could be mistaken for a good one.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "transport/core/wipe.h"

namespace tavi::crypto {

constexpr std::size_t kKeyLength = 32;        // X25519 and Ed25519 keys, AEAD key, SHA-256
constexpr std::size_t kSignatureLength = 64;  // Ed25519
constexpr std::size_t kTagLength = 16;        // Poly1305
constexpr std::size_t kAeadNonceLength = 12;

using Key = std::array<uint8_t, kKeyLength>;
using Digest = std::array<uint8_t, kKeyLength>;
using Signature = std::array<uint8_t, kSignatureLength>;

// Initialises libsodium once per process (on first use, never from DllMain); false when the
// library is unusable (then every other function fails too). Safe to call from several threads.
bool Initialise();

// The one secure random source: libsodium's randombytes_buf over the system's generator
// (RtlGenRandom on Windows, getrandom natively). It never returns a partial result.
void Random(uint8_t* out, std::size_t length);
Digest Sha256(const uint8_t* data, std::size_t length);
Digest HmacSha256(const uint8_t* key, std::size_t keyLength, const uint8_t* data,
                  std::size_t length);
// RFC 5869 extract-then-expand; `length` at most 255 * 32.
bool Hkdf(const uint8_t* salt, std::size_t saltLength, const uint8_t* ikm, std::size_t ikmLength,
          const uint8_t* info, std::size_t infoLength, uint8_t* out, std::size_t length);

// X25519: a fresh private scalar and its public value; the shared secret of our private and
// their public value (false for a low-order public value, whose result is all zero).
bool X25519KeyPair(Key& privateKey, Key& publicKey);
bool X25519(const Key& privateKey, const Key& peerPublic, Key& shared);

// ChaCha20-Poly1305 (RFC 8439). Seal appends the tag; Open checks it before it writes
// anything to `plain` and fails on a short input or a wrong tag.
bool AeadSeal(const Key& key, const uint8_t nonce[kAeadNonceLength], const uint8_t* ad,
              std::size_t adLength, const uint8_t* plain, std::size_t length,
              std::vector<uint8_t>& out);
bool AeadOpen(const Key& key, const uint8_t nonce[kAeadNonceLength], const uint8_t* ad,
              std::size_t adLength, const uint8_t* sealed, std::size_t length,
              std::vector<uint8_t>& plain);

// Ed25519 (RFC 8032): the private key is the 32-byte seed. Sign derives the public key from
// the seed itself and fails when `publicKey` is another one. Verify is false for any key that
// is no canonical curve point of large order, never an abort.
bool Ed25519KeyPair(Key& seed, Key& publicKey);
bool Ed25519Sign(const Key& seed, const Key& publicKey, const uint8_t* message,
                 std::size_t length, Signature& signature);
bool Ed25519Verify(const Key& publicKey, const uint8_t* message, std::size_t length,
                   const Signature& signature);

using tavi::Wipe;  // secrets are wiped in one way (wipe.h)

// Constant-time comparison of equal-length byte strings.
bool Equal(const uint8_t* a, const uint8_t* b, std::size_t length);

}  // namespace tavi::crypto
