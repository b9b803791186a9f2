// The libgcrypt wrapper against published vectors, the fingerprint text and the keeping of
// the agent's identity (in memory; under Wine also the registry store with DPAPI).
#include <gtest/gtest.h>

#include <string>

#include "transport/core/crypto.h"
#include "transport/core/identity.h"
#include "transport/core/key_store.h"
#ifdef _WIN32
#include "transport/platform/registry_key_store.h"
#endif

namespace tavi {
namespace {

std::vector<uint8_t> Hex(const std::string& hex) {
  std::vector<uint8_t> out;
  for (std::size_t i = 0; i + 1 < hex.size(); i += 2)
    out.push_back(static_cast<uint8_t>(std::stoi(hex.substr(i, 2), nullptr, 16)));
  return out;
}
crypto::Key KeyHex(const std::string& hex) {
  crypto::Key k{};
  auto v = Hex(hex);
  std::copy(v.begin(), v.end(), k.begin());
  return k;
}

TEST(Crypto, HkdfMatchesRfc5869CaseOne) {
  const auto ikm = std::vector<uint8_t>(22, 0x0b);
  const auto salt = Hex("000102030405060708090a0b0c");
  const auto info = Hex("f0f1f2f3f4f5f6f7f8f9");
  std::vector<uint8_t> okm(42);
  ASSERT_TRUE(crypto::Hkdf(salt.data(), salt.size(), ikm.data(), ikm.size(), info.data(),
                           info.size(), okm.data(), okm.size()));
  EXPECT_EQ(okm, Hex("3cb25f25faacd57a90434f64d0362f2a2d2d0a90cf1a5a4c5db02d56ecc4c5bf34007208d5b887185865"));
  EXPECT_FALSE(crypto::Hkdf(salt.data(), salt.size(), ikm.data(), ikm.size(), nullptr, 0,
                            okm.data(), 255 * 32 + 1));
}

TEST(Crypto, X25519MatchesRfc7748AndRefusesLowOrderPoints) {
  const auto alice = KeyHex("77076d0a7318a57d3c16c17251b26645df4c2f87ebc0992ab177fba51db92c2a");
  const auto bobPublic = KeyHex("de9edb7d7b7dc1b4d35b61c2ece435373f8343c85b78674dadfc7e146f882b4f");
  crypto::Key shared{};
  ASSERT_TRUE(crypto::X25519(alice, bobPublic, shared));
  EXPECT_EQ(shared, KeyHex("4a5d9d5ba4ce2de1728e3bf480350f25e07e21c947d19e3376f09b3c1e161742"));
  crypto::Key zero{};
  EXPECT_FALSE(crypto::X25519(alice, zero, shared)) << "the all-zero point gives no secret";

  crypto::Key a{}, aPub{}, b{}, bPub{}, s1{}, s2{};
  ASSERT_TRUE(crypto::X25519KeyPair(a, aPub));
  ASSERT_TRUE(crypto::X25519KeyPair(b, bPub));
  ASSERT_TRUE(crypto::X25519(a, bPub, s1));
  ASSERT_TRUE(crypto::X25519(b, aPub, s2));
  EXPECT_EQ(s1, s2);
}

TEST(Crypto, Ed25519MatchesRfc8032AndRejectsAnyChange) {
  const auto seed = KeyHex("9d61b19deffd5a60ba844af492ec2cc44449c5697b326919703bac031cae7f60");
  const auto pub = KeyHex("d75a980182b10ab7d54bfed3c964073a0ee172f3daa62325af021a68f707511a");
  crypto::Signature sig{};
  ASSERT_TRUE(crypto::Ed25519Sign(seed, pub, nullptr, 0, sig));
  EXPECT_EQ(std::vector<uint8_t>(sig.begin(), sig.end()),
            Hex("e5564300c360ac729086e2cc806e828a84877f1eb8e5d974d873e065224901555fb8821590a33bacc61e39701cf9b46bd25bf5f0595bbe24655141438e7a100b"));
  EXPECT_TRUE(crypto::Ed25519Verify(pub, nullptr, 0, sig));

  const uint8_t message[] = "discover";
  ASSERT_TRUE(crypto::Ed25519Sign(seed, pub, message, sizeof message, sig));
  EXPECT_TRUE(crypto::Ed25519Verify(pub, message, sizeof message, sig));
  auto badSig = sig;
  badSig[10] ^= 1;
  EXPECT_FALSE(crypto::Ed25519Verify(pub, message, sizeof message, badSig));
  EXPECT_FALSE(crypto::Ed25519Verify(pub, message, sizeof message - 1, sig));
  Identity other;
  ASSERT_TRUE(GenerateIdentity(other));
  EXPECT_FALSE(crypto::Ed25519Verify(other.publicKey, message, sizeof message, sig));
  crypto::Key garbage;
  garbage.fill(0xFF);
  EXPECT_FALSE(crypto::Ed25519Verify(garbage, message, sizeof message, sig));
  // Keys that made libgcrypt 1.10.1 abort the process: a zero top limb of y (the identity
  // point among them), with or without the sign bit. Refused, and the process lives on.
  for (int signBit : {0x00, 0x80}) {
    crypto::Key hostile = pub;
    std::fill(hostile.begin() + 24, hostile.end(), 0);
    hostile[31] = static_cast<uint8_t>(signBit);
    EXPECT_FALSE(crypto::Ed25519Verify(hostile, message, sizeof message, sig));
  }
  crypto::Key identityPoint{};
  identityPoint[0] = 1;
  EXPECT_FALSE(crypto::Ed25519Verify(identityPoint, message, sizeof message, sig));
  EXPECT_FALSE(crypto::Ed25519Verify(crypto::Key{}, message, sizeof message, sig));
}

TEST(Crypto, AeadRoundTripsAndRejectsAnyFlippedBitOrOtherContext) {
  crypto::Key key{};
  crypto::Random(key.data(), key.size());
  const uint8_t nonce[12] = {};
  const uint8_t ad[] = {2, 6, 1, 2, 3, 4};
  std::vector<uint8_t> plain(300);
  for (std::size_t i = 0; i < plain.size(); ++i) plain[i] = static_cast<uint8_t>(i);
  std::vector<uint8_t> sealed, opened;
  ASSERT_TRUE(crypto::AeadSeal(key, nonce, ad, sizeof ad, plain.data(), plain.size(), sealed));
  ASSERT_EQ(sealed.size(), plain.size() + 16);
  ASSERT_TRUE(crypto::AeadOpen(key, nonce, ad, sizeof ad, sealed.data(), sealed.size(), opened));
  EXPECT_EQ(opened, plain);

  for (std::size_t bit : {0u, 8u * 150u + 3u, 8u * 316u - 1u}) {
    auto bad = sealed;
    bad[bit / 8] ^= static_cast<uint8_t>(1u << (bit % 8));
    std::vector<uint8_t> out{0x55};
    EXPECT_FALSE(crypto::AeadOpen(key, nonce, ad, sizeof ad, bad.data(), bad.size(), out)) << bit;
    EXPECT_EQ(out, std::vector<uint8_t>{0x55}) << "nothing written on failure";
  }
  const uint8_t otherAd[] = {2, 7, 1, 2, 3, 4};
  EXPECT_FALSE(crypto::AeadOpen(key, nonce, otherAd, sizeof otherAd, sealed.data(), sealed.size(), opened));
  EXPECT_FALSE(crypto::AeadOpen(key, nonce, ad, sizeof ad, sealed.data(), 15, opened));
  EXPECT_FALSE(crypto::AeadOpen(key, nonce, ad, sizeof ad, nullptr, 40, opened));
}

TEST(Fingerprint, SixteenGroupsOfTheKeysSha256) {
  const auto pub = KeyHex("d75a980182b10ab7d54bfed3c964073a0ee172f3daa62325af021a68f707511a");
  const std::string text = FormatFingerprint(pub);
  ASSERT_EQ(text.size(), 79u);
  const auto digest = crypto::Sha256(pub.data(), pub.size());
  char first[5];
  std::snprintf(first, sizeof first, "%02X%02X", digest[0], digest[1]);
  EXPECT_EQ(text.substr(0, 5), std::string(first) + " ");
  for (std::size_t i = 4; i < text.size(); i += 5) EXPECT_EQ(text[i], ' ');
  auto other = pub;
  other[31] ^= 1;
  EXPECT_NE(FormatFingerprint(other), text);
}

TEST(KeyStore, IdentityIsMadeOnceKeptAndReplacedOnlyWhenDamaged) {
  MemoryKeyStore store;
  Identity first, again;
  ASSERT_TRUE(LoadOrCreateIdentity(store, first));
  ASSERT_TRUE(LoadOrCreateIdentity(store, again));
  EXPECT_EQ(first.publicKey, again.publicKey);
  EXPECT_EQ(store.saves, 1);

  // A public key that does not belong to the sealed seed, or a short record: a new pair.
  store.stored[40] ^= 1;
  Identity repaired;
  ASSERT_TRUE(LoadOrCreateIdentity(store, repaired));
  EXPECT_NE(repaired.publicKey, first.publicKey);
  EXPECT_TRUE(IdentityConsistent(repaired));
  store.stored.resize(10);
  ASSERT_TRUE(LoadOrCreateIdentity(store, repaired));
  EXPECT_EQ(store.saves, 3);

  MemoryKeyStore readOnly;
  readOnly.failSave = true;
  Identity none;
  EXPECT_FALSE(LoadOrCreateIdentity(readOnly, none)) << "a key that cannot be kept is refused";
}

#ifdef _WIN32
TEST(RegistryKeyStore, SealsThePrivateKeyAndRestrictsTheKey) {
  const wchar_t* path = L"Software\\NetvaneTest\\IdentityStore";
  RegDeleteTreeW(HKEY_CURRENT_USER, path);
  RegistryKeyStore store(HKEY_CURRENT_USER, path);
  Identity made, loaded;
  EXPECT_EQ(store.Load(loaded), KeyLoad::Missing);
  ASSERT_TRUE(LoadOrCreateIdentity(store, made));
  ASSERT_EQ(store.Load(loaded), KeyLoad::Loaded);
  EXPECT_EQ(loaded.publicKey, made.publicKey);
  EXPECT_EQ(loaded.seed, made.seed);

  HKEY key = nullptr;
  ASSERT_EQ(RegOpenKeyExW(HKEY_CURRENT_USER, path, 0, KEY_READ | KEY_WRITE, &key), ERROR_SUCCESS);
  BYTE sealed[1024];
  DWORD size = sizeof sealed, type = 0;
  ASSERT_EQ(RegQueryValueExW(key, kIdentityKeyValue, nullptr, &type, sealed, &size), ERROR_SUCCESS);
  EXPECT_EQ(type, static_cast<DWORD>(REG_BINARY));
  EXPECT_GT(size, 32u);
  EXPECT_EQ(std::search(sealed, sealed + size, made.seed.begin(), made.seed.end()), sealed + size)
      << "the seed is not stored in clear";
  BYTE pub[64];
  size = sizeof pub;
  ASSERT_EQ(RegQueryValueExW(key, kIdentityPublicKeyValue, nullptr, &type, pub, &size), ERROR_SUCCESS);
  EXPECT_EQ(size, 32u);

  // A sealed blob that no longer unseals: damaged, and replaced by a new identity.
  sealed[size / 2] ^= 0x40;
  DWORD sealedSize = sizeof sealed;
  RegQueryValueExW(key, kIdentityKeyValue, nullptr, nullptr, sealed, &sealedSize);
  sealed[sealedSize - 5] ^= 0x40;
  RegSetValueExW(key, kIdentityKeyValue, 0, REG_BINARY, sealed, sealedSize);
  EXPECT_EQ(store.Load(loaded), KeyLoad::Damaged);
  RegCloseKey(key);
  RegDeleteTreeW(HKEY_CURRENT_USER, path);
}
#endif

}  // namespace
}  // namespace tavi
