#include "transport/core/crypto.h"

#include <gcrypt.h>
#ifdef _WIN32
#include <windows.h>
#include <bcrypt.h>
#endif

#include <cstring>
#include <mutex>

namespace tavi::crypto {

namespace {

// Owns an S-expression; libgcrypt's C handles are released on every path.
struct Sexp {
  gcry_sexp_t s = nullptr;
  ~Sexp() { gcry_sexp_release(s); }
};

// Copies the value of token `name` inside `list` into out, which must be exactly that long;
// an EdDSA point may carry the 0x40 prefix of the native encoding.
bool TokenBytes(gcry_sexp_t list, const char* name, uint8_t* out, std::size_t length) {
  Sexp token;
  token.s = gcry_sexp_find_token(list, name, 0);
  if (token.s == nullptr) return false;
  std::size_t n = 0;
  const char* data = gcry_sexp_nth_data(token.s, 1, &n);
  if (data == nullptr) return false;
  if (n == length + 1 && static_cast<uint8_t>(data[0]) == 0x40) {
    ++data;
    --n;
  }
  if (n != length) return false;
  std::memcpy(out, data, length);
  return true;
}

}  // namespace

bool Initialise() {
  static std::once_flag once;
  static bool ready = false;
  std::call_once(once, [] {
    if (gcry_check_version("1.10.0") == nullptr) return;
    // Keys live in ordinary memory and are wiped by us after use: locked secure memory needs
    // privileges that neither the console nor the tests have.
    gcry_control(GCRYCTL_DISABLE_SECMEM, 0);
    gcry_control(GCRYCTL_INITIALIZATION_FINISHED, 0);
    ready = true;
  });
  return ready;
}

void Random(uint8_t* out, std::size_t length) {
  Initialise();
#ifdef _WIN32
  // The system's CSPRNG: libgcrypt's own Windows entropy gatherer polls performance data,
  // disks and network statistics, which costs milliseconds per call and far longer at first
  // use under Wine (and prints a note about diskperf to stderr).
  if (length <= 0xFFFFFFFFu &&
      BCryptGenRandom(nullptr, out, static_cast<ULONG>(length), BCRYPT_USE_SYSTEM_PREFERRED_RNG) == 0)
    return;
#endif
  gcry_randomize(out, length, GCRY_STRONG_RANDOM);
}

Digest Sha256(const uint8_t* data, std::size_t length) {
  Initialise();
  Digest digest{};
  gcry_md_hash_buffer(GCRY_MD_SHA256, digest.data(), data, length);
  return digest;
}

Digest HmacSha256(const uint8_t* key, std::size_t keyLength, const uint8_t* data,
                  std::size_t length) {
  Initialise();
  Digest mac{};
  gcry_mac_hd_t h = nullptr;
  if (gcry_mac_open(&h, GCRY_MAC_HMAC_SHA256, 0, nullptr) != 0) return mac;
  std::size_t n = mac.size();
  if (gcry_mac_setkey(h, key, keyLength) != 0 || gcry_mac_write(h, data, length) != 0 ||
      gcry_mac_read(h, mac.data(), &n) != 0 || n != mac.size())
    mac.fill(0);
  gcry_mac_close(h);
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
  return gcry_ecc_mul_point(GCRY_ECC_CURVE25519, publicKey.data(), privateKey.data(), nullptr) == 0;
}

bool X25519(const Key& privateKey, const Key& peerPublic, Key& shared) {
  if (!Initialise()) return false;
  if (gcry_ecc_mul_point(GCRY_ECC_CURVE25519, shared.data(), privateKey.data(),
                         peerPublic.data()) != 0) {
    Wipe(shared);
    return false;
  }
  // A low-order point gives all zeros: the peer would know the "secret" too (RFC 7748 6.1).
  uint8_t any = 0;
  for (uint8_t b : shared) any |= b;
  return any != 0;
}

namespace {
bool AeadStart(gcry_cipher_hd_t& h, const Key& key, const uint8_t* nonce, const uint8_t* ad,
               std::size_t adLength) {
  if (!Initialise()) return false;
  if (gcry_cipher_open(&h, GCRY_CIPHER_CHACHA20, GCRY_CIPHER_MODE_POLY1305, 0) != 0) return false;
  return gcry_cipher_setkey(h, key.data(), key.size()) == 0 &&
         gcry_cipher_setiv(h, nonce, kAeadNonceLength) == 0 &&
         gcry_cipher_authenticate(h, ad, adLength) == 0;
}
}  // namespace

bool AeadSeal(const Key& key, const uint8_t nonce[kAeadNonceLength], const uint8_t* ad,
              std::size_t adLength, const uint8_t* plain, std::size_t length,
              std::vector<uint8_t>& out) {
  gcry_cipher_hd_t h = nullptr;
  bool ok = AeadStart(h, key, nonce, ad, adLength);
  std::vector<uint8_t> sealed(length + kTagLength);
  if (ok) gcry_cipher_final(h);
  ok = ok && gcry_cipher_encrypt(h, sealed.data(), length, plain, length) == 0 &&
       gcry_cipher_gettag(h, sealed.data() + length, kTagLength) == 0;
  gcry_cipher_close(h);
  if (ok) out = std::move(sealed);
  return ok;
}

bool AeadOpen(const Key& key, const uint8_t nonce[kAeadNonceLength], const uint8_t* ad,
              std::size_t adLength, const uint8_t* sealed, std::size_t length,
              std::vector<uint8_t>& plain) {
  if (sealed == nullptr || length < kTagLength) return false;
  const std::size_t n = length - kTagLength;
  gcry_cipher_hd_t h = nullptr;
  bool ok = AeadStart(h, key, nonce, ad, adLength);
  std::vector<uint8_t> out(n);
  if (ok) gcry_cipher_final(h);
  ok = ok && gcry_cipher_decrypt(h, out.data(), n, sealed, n) == 0 &&
       gcry_cipher_checktag(h, sealed + n, kTagLength) == 0;
  gcry_cipher_close(h);
  if (!ok) {
    Wipe(out.data(), out.size());
    return false;
  }
  plain = std::move(out);
  return true;
}

bool Ed25519KeyPair(Key& seed, Key& publicKey) {
  if (!Initialise()) return false;
  Sexp params, key, secret;
  if (gcry_sexp_build(&params.s, nullptr, "(genkey(ecc(curve Ed25519)(flags eddsa)))") != 0 ||
      gcry_pk_genkey(&key.s, params.s) != 0)
    return false;
  secret.s = gcry_sexp_find_token(key.s, "private-key", 0);
  return secret.s != nullptr && TokenBytes(secret.s, "d", seed.data(), seed.size()) &&
         TokenBytes(secret.s, "q", publicKey.data(), publicKey.size());
}

bool Ed25519Sign(const Key& seed, const Key& publicKey, const uint8_t* message,
                 std::size_t length, Signature& signature) {
  if (!Initialise()) return false;
  Sexp key, data, result;
  if (gcry_sexp_build(&key.s, nullptr, "(private-key(ecc(curve Ed25519)(flags eddsa)(q %b)(d %b)))",
                      static_cast<int>(publicKey.size()), publicKey.data(),
                      static_cast<int>(seed.size()), seed.data()) != 0 ||
      gcry_sexp_build(&data.s, nullptr, "(data(flags eddsa)(hash-algo sha512)(value %b))",
                      static_cast<int>(length), message) != 0 ||
      gcry_pk_sign(&result.s, data.s, key.s) != 0)
    return false;
  return TokenBytes(result.s, "r", signature.data(), 32) &&
         TokenBytes(result.s, "s", signature.data() + 32, 32);
}

bool Ed25519Verify(const Key& publicKey, const uint8_t* message, std::size_t length,
                   const Signature& signature) {
  if (!Initialise()) return false;
  // libgcrypt 1.10.1 aborts the process (log_bug "mulm_25519: different sizes") on a key
  // whose y coordinate has a zero top 64-bit limb. No honest key looks like that (chance
  // 2^-63); refuse it before it reaches the library, since the key comes off the wire.
  uint8_t top = static_cast<uint8_t>(publicKey[31] & 0x7F);
  for (std::size_t i = 24; i < 31; ++i) top |= publicKey[i];
  if (top == 0) return false;
  Sexp key, data, sig;
  return gcry_sexp_build(&key.s, nullptr, "(public-key(ecc(curve Ed25519)(flags eddsa)(q %b)))",
                         static_cast<int>(publicKey.size()), publicKey.data()) == 0 &&
         gcry_sexp_build(&data.s, nullptr, "(data(flags eddsa)(hash-algo sha512)(value %b))",
                         static_cast<int>(length), message) == 0 &&
         gcry_sexp_build(&sig.s, nullptr, "(sig-val(eddsa(r %b)(s %b)))", 32, signature.data(), 32,
                         signature.data() + 32) == 0 &&
         gcry_pk_verify(sig.s, data.s, key.s) == 0;
}

void Wipe(void* data, std::size_t length) {
  volatile uint8_t* p = static_cast<volatile uint8_t*>(data);
  while (length-- > 0) *p++ = 0;
}

bool Equal(const uint8_t* a, const uint8_t* b, std::size_t length) {
  uint8_t diff = 0;
  for (std::size_t i = 0; i < length; ++i) diff |= static_cast<uint8_t>(a[i] ^ b[i]);
  return diff == 0;
}

}  // namespace tavi::crypto
