// The libsodium wrapper against published vectors and against bytes the earlier libgcrypt
// build produced (keys and pins made before stay valid), hostile keys off the wire, the
// fingerprint text and the keeping of the agent's identity (in memory; under Wine also the
// registry store with DPAPI).
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

std::vector<uint8_t> Range(int from, int to) {
  std::vector<uint8_t> out;
  for (int b = from; b < to; ++b) out.push_back(static_cast<uint8_t>(b));
  return out;
}

TEST(Crypto, HkdfMatchesRfc5869CasesOneToThree) {
  struct Case {
    std::vector<uint8_t> ikm, salt, info;
    std::string okm;
  };
  const Case cases[] = {
      {std::vector<uint8_t>(22, 0x0b), Hex("000102030405060708090a0b0c"), Hex("f0f1f2f3f4f5f6f7f8f9"),
       "3cb25f25faacd57a90434f64d0362f2a2d2d0a90cf1a5a4c5db02d56ecc4c5bf34007208d5b887185865"},
      {Range(0x00, 0x50), Range(0x60, 0xb0), Range(0xb0, 0x100),
       "b11e398dc80327a1c8e7f78c596a49344f012eda2d4efad8a050cc4c19afa97c59045a99cac7827271cb41c65e590e"
       "09da3275600c2f09b8367793a9aca3db71cc30c58179ec3e87c14c01d5c1f3434f1d87"},
      {std::vector<uint8_t>(22, 0x0b), {}, {},
       "8da4e775a563c18f715f802a063c5a31b8a11f5c5ee1879ec3454e5f3c738d2d9d201395faa4b61a96c8"},
  };
  for (const auto& c : cases) {
    std::vector<uint8_t> okm(c.okm.size() / 2);
    ASSERT_TRUE(crypto::Hkdf(c.salt.data(), c.salt.size(), c.ikm.data(), c.ikm.size(), c.info.data(),
                             c.info.size(), okm.data(), okm.size()));
    EXPECT_EQ(okm, Hex(c.okm));
  }
  std::vector<uint8_t> okm(255 * 32);
  EXPECT_TRUE(crypto::Hkdf(nullptr, 0, okm.data(), 10, nullptr, 0, okm.data(), okm.size()));
  EXPECT_FALSE(crypto::Hkdf(nullptr, 0, okm.data(), 10, nullptr, 0, okm.data(), okm.size() + 1));
  EXPECT_FALSE(crypto::Hkdf(nullptr, 0, okm.data(), 10, nullptr, 0, nullptr, 32));
}

TEST(Crypto, X25519MatchesRfc7748AndRefusesLowOrderPoints) {
  const auto alice = KeyHex("77076d0a7318a57d3c16c17251b26645df4c2f87ebc0992ab177fba51db92c2a");
  const auto bobPublic = KeyHex("de9edb7d7b7dc1b4d35b61c2ece435373f8343c85b78674dadfc7e146f882b4f");
  crypto::Key shared{};
  ASSERT_TRUE(crypto::X25519(alice, bobPublic, shared));
  EXPECT_EQ(shared, KeyHex("4a5d9d5ba4ce2de1728e3bf480350f25e07e21c947d19e3376f09b3c1e161742"));

  // Every u coordinate of small order (and their non-canonical twins u + p) gives an all-zero
  // result: refused, and nothing of it left in `shared`.
  for (const char* hostile : {
           "0000000000000000000000000000000000000000000000000000000000000000",
           "0100000000000000000000000000000000000000000000000000000000000000",
           "e0eb7a7c3b41b8ae1656e3faf19fc46ada098deb9c32b1fd866205165f49b800",
           "5f9c95bca3508c24b1d0b1559c83ef5b04445cc4581c8e86d8224eddd09f1157",
           "ecffffffffffffffffffffffffffffffffffffffffffffffffffffffffffff7f",
           "edffffffffffffffffffffffffffffffffffffffffffffffffffffffffffff7f",
           "eeffffffffffffffffffffffffffffffffffffffffffffffffffffffffffff7f"}) {
    shared.fill(0x55);
    EXPECT_FALSE(crypto::X25519(alice, KeyHex(hostile), shared)) << hostile;
    EXPECT_EQ(shared, crypto::Key{}) << hostile;
  }

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

  // The same signature with S + L (the group order) verifies in a lax implementation; it is a
  // second encoding an attacker can make of any genuine signature.
  const auto order = Hex("edd3f55c1a631258d69cf7a2def9de1400000000000000000000000000000010");
  auto malleable = sig;
  unsigned carry = 0;
  for (std::size_t i = 0; i < 32; ++i) {
    const unsigned sum = malleable[32 + i] + order[i] + carry;
    malleable[32 + i] = static_cast<uint8_t>(sum);
    carry = sum >> 8;
  }
  ASSERT_EQ(carry, 0u);
  EXPECT_FALSE(crypto::Ed25519Verify(pub, message, sizeof message, malleable));

  // The signer derives the public key from the seed: another one is refused, not signed with.
  crypto::Signature untouched{};
  EXPECT_FALSE(crypto::Ed25519Sign(seed, other.publicKey, message, sizeof message, untouched));
  EXPECT_EQ(untouched, crypto::Signature{});
}

// Bytes the libgcrypt build of this code produced for a fixed seed: an identity stored, and a
// host pinned, before the move to libsodium still sign and verify the same.
TEST(Crypto, Ed25519KeepsTheKeysAndSignaturesOfEarlierBuilds) {
  Identity id;
  for (std::size_t i = 0; i < id.seed.size(); ++i) id.seed[i] = static_cast<uint8_t>(0xA0 + i);
  id.publicKey = KeyHex("4fd099ccd47d7893dfe9ec24414ecb0d9b5420232aad30d91c465be33cbe65c4");
  EXPECT_TRUE(IdentityConsistent(id)) << "the seed still yields the stored public key";
  EXPECT_EQ(FormatFingerprint(id.publicKey),
            "A181 12B0 B7B4 225F F305 27E0 F7CF 7A1E 3742 F632 B03B 65F4 5427 03C3 A565 4DC9");

  static const uint8_t reply[] = "netvane discovery reply";
  std::vector<uint8_t> frame(1000);
  for (std::size_t i = 0; i < frame.size(); ++i) frame[i] = static_cast<uint8_t>(i * 7);
  crypto::Signature sig{};
  ASSERT_TRUE(crypto::Ed25519Sign(id.seed, id.publicKey, reply, sizeof reply, sig));
  EXPECT_EQ(std::vector<uint8_t>(sig.begin(), sig.end()),
            Hex("e1b629406fba6c6b075cceeaa2bd0561de15205cfd8dae55b120037f0d910487f0219c78190b1b89f0ee5816f922be7897efdc0fbaedfb6e9ec4d8fd80c83405"));
  ASSERT_TRUE(crypto::Ed25519Sign(id.seed, id.publicKey, frame.data(), frame.size(), sig));
  EXPECT_EQ(std::vector<uint8_t>(sig.begin(), sig.end()),
            Hex("cdf8f5b92e5504d8a7d1b2d6d60995a7dd36f2d3bed820bc01e9d5ab24668588b307b22f7923313f9c3ddc001f32d3a908d399e1984f00630100b9b358930905"));
  EXPECT_TRUE(crypto::Ed25519Verify(id.publicKey, frame.data(), frame.size(), sig));

  const auto mac = crypto::HmacSha256(id.seed.data(), id.seed.size(), frame.data(), frame.size());
  EXPECT_EQ(std::vector<uint8_t>(mac.begin(), mac.end()),
            Hex("8fee22522605a270170d1a75b4e7dea9c13808a4a0cb5070acfd200219442ca6"));
  const uint8_t nonce[12] = {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12};
  std::vector<uint8_t> sealed;
  ASSERT_TRUE(crypto::AeadSeal(id.seed, nonce, reply, sizeof reply, frame.data(), 40, sealed));
  EXPECT_EQ(sealed, Hex("d163548b3def857ce63c74efd8d968f19a9d51037a90c88dce549f02fcb1fb6eb2e4fafeb8d8e65e716e00b89666062164d2c7ffc87ef172"));
}

// Public keys an attacker on the segment can put into a discovery reply. Each makes the check
// fail and the process live on (libgcrypt 1.10 aborted on the first of them).
TEST(Crypto, Ed25519VerifyRefusesHostileKeysWithoutAborting) {
  const auto seed = KeyHex("9d61b19deffd5a60ba844af492ec2cc44449c5697b326919703bac031cae7f60");
  const auto pub = KeyHex("d75a980182b10ab7d54bfed3c964073a0ee172f3daa62325af021a68f707511a");
  const uint8_t message[] = "discover";
  crypto::Signature genuine{};
  ASSERT_TRUE(crypto::Ed25519Sign(seed, pub, message, sizeof message, genuine));
  // A signature of the identity point as R and S = 0 is what a small-order key accepts in a
  // lax check: try that as well as a genuine one and random bytes.
  crypto::Signature trivial{};
  trivial[0] = 1;
  crypto::Signature noise{};
  crypto::Random(noise.data(), 32);

  for (const char* hostile : {
           // small x: the point of order 2 (x = 0, y = -1), with and without the sign bit
           "ecffffffffffffffffffffffffffffffffffffffffffffffffffffffffffff7f",
           "ecffffffffffffffffffffffffffffffffffffffffffffffffffffffffffffff",
           // small x of large order (x = 2)
           "3126711e11ef574692935381d2cd2bbab5dd113c4010f91fd7c4dd7b12bf431a",
           // small y: y = 3, a curve point whose top 64-bit limb is zero, either sign
           "0300000000000000000000000000000000000000000000000000000000000000",
           "0300000000000000000000000000000000000000000000000000000000000080",
           // small order: the identity, order 4 (y = 0, both signs), order 8
           "0100000000000000000000000000000000000000000000000000000000000000",
           "0000000000000000000000000000000000000000000000000000000000000000",
           "0000000000000000000000000000000000000000000000000000000000000080",
           "c7176a703d4dd84fba3c0b760d10670f2a2053fa2c39ccc64ec7fd7792ac037a",
           "26e8958fc2b227b045c3f489f2ef98f0d5dfac05d3c63339b13802886d53fc05",
           "26e8958fc2b227b045c3f489f2ef98f0d5dfac05d3c63339b13802886d53fc85",
           // non-canonical: y = p (0), y = p + 1 (the identity), y = 2^255 - 1, -0 as x
           "edffffffffffffffffffffffffffffffffffffffffffffffffffffffffffff7f",
           "eeffffffffffffffffffffffffffffffffffffffffffffffffffffffffffff7f",
           "ffffffffffffffffffffffffffffffffffffffffffffffffffffffffffffff7f",
           "0100000000000000000000000000000000000000000000000000000000000080",
           // no curve point at all (y = 2)
           "0200000000000000000000000000000000000000000000000000000000000000"}) {
    const auto key = KeyHex(hostile);
    for (const auto& sig : {genuine, trivial, noise})
      EXPECT_FALSE(crypto::Ed25519Verify(key, message, sizeof message, sig)) << hostile;
  }
  // A small-order R in an otherwise well-formed signature under the genuine key.
  auto smallR = genuine;
  std::copy(trivial.begin(), trivial.begin() + 32, smallR.begin());
  EXPECT_FALSE(crypto::Ed25519Verify(pub, message, sizeof message, smallR));
  EXPECT_TRUE(crypto::Ed25519Verify(pub, message, sizeof message, genuine)) << "still working";
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
