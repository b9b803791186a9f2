// The agent's identity between runs: a passing read failure never costs the identity, a key
// sealed the old way keeps its fingerprint, and (Windows) a registry key that others may
// read or write is noticed on every load.
#include <gtest/gtest.h>

#include "transport/core/key_store.h"
#ifdef _WIN32
#include <aclapi.h>
#include <sddl.h>

#include "transport/platform/registry_key_store.h"
#endif

namespace tavi {
namespace {

TEST(KeyStoreLoad, APassingReadFailureMakesNoNewIdentityAndTheOldSealingIsRenewed) {
  MemoryKeyStore store;
  Identity first;
  ASSERT_TRUE(LoadOrCreateIdentity(store, first));
  const auto stored = store.stored;

  store.unavailable = true;
  Identity none;
  EXPECT_FALSE(LoadOrCreateIdentity(store, none)) << "no identity rather than a new one";
  EXPECT_EQ(store.stored, stored);
  EXPECT_EQ(store.saves, 1);

  store.unavailable = false;
  store.legacy = true;
  Identity upgraded;
  ASSERT_TRUE(LoadOrCreateIdentity(store, upgraded));
  EXPECT_EQ(upgraded.publicKey, first.publicKey);
  EXPECT_EQ(FormatFingerprint(upgraded.publicKey), FormatFingerprint(first.publicKey));
  EXPECT_EQ(store.saves, 2) << "sealed again";
  EXPECT_FALSE(store.legacy);

  // Sealed again fails: the identity still serves, unchanged.
  store.legacy = true;
  store.failSave = true;
  Identity kept;
  ASSERT_TRUE(LoadOrCreateIdentity(store, kept));
  EXPECT_EQ(kept.publicKey, first.publicKey);
}

#ifdef _WIN32
class RegistryIdentity : public ::testing::Test {
 protected:
  static constexpr const wchar_t* kPath = L"Software\\NetvaneTest\\Identity";
  static constexpr const wchar_t* kLegacyPath = L"Software\\NetvaneTest\\ServiceParameter";
  void SetUp() override {
    RegDeleteTreeW(HKEY_CURRENT_USER, kPath);
    RegDeleteTreeW(HKEY_CURRENT_USER, kLegacyPath);
  }
  void TearDown() override {
    SetSddl(kIdentityKeySddl);
    RegDeleteTreeW(HKEY_CURRENT_USER, kPath);
    RegDeleteTreeW(HKEY_CURRENT_USER, kLegacyPath);
  }
  bool SetSddl(const wchar_t* sddl) {
    HKEY key = nullptr;
    if (RegOpenKeyExW(HKEY_CURRENT_USER, kPath, 0, WRITE_DAC, &key) != ERROR_SUCCESS) return false;
    PSECURITY_DESCRIPTOR sd = nullptr;
    bool ok = ConvertStringSecurityDescriptorToSecurityDescriptorW(sddl, SDDL_REVISION_1, &sd, nullptr) &&
              RegSetKeySecurity(key, DACL_SECURITY_INFORMATION, sd) == ERROR_SUCCESS;
    LocalFree(sd);
    RegCloseKey(key);
    return ok;
  }
  std::wstring Sddl() {
    HKEY key = nullptr;
    if (RegOpenKeyExW(HKEY_CURRENT_USER, kPath, 0, READ_CONTROL, &key) != ERROR_SUCCESS) return L"";
    PSECURITY_DESCRIPTOR sd = nullptr;
    std::wstring text;
    if (GetSecurityInfo(key, SE_REGISTRY_KEY, DACL_SECURITY_INFORMATION, nullptr, nullptr, nullptr,
                        nullptr, &sd) == ERROR_SUCCESS) {
      LPWSTR s = nullptr;
      if (ConvertSecurityDescriptorToStringSecurityDescriptorW(sd, SDDL_REVISION_1,
                                                               DACL_SECURITY_INFORMATION, &s, nullptr)) {
        text = s;
        LocalFree(s);
      }
      LocalFree(sd);
    }
    RegCloseKey(key);
    return text;
  }
  std::vector<uint8_t> Sealed(const wchar_t* path = kPath) {
    std::vector<uint8_t> out(4096);
    DWORD size = static_cast<DWORD>(out.size());
    if (RegGetValueW(HKEY_CURRENT_USER, path, kIdentityKeyValue, RRF_RT_REG_BINARY, nullptr,
                     out.data(), &size) != ERROR_SUCCESS)
      return {};
    out.resize(size);
    return out;
  }
  // What an earlier version left in the service's key: the seed sealed for the machine.
  void WriteLegacy(const Identity& id) {
    std::vector<uint8_t> sealed;
    ASSERT_TRUE(SealIdentitySeed(id.seed, SealScope::LegacyMachine, sealed));
    HKEY key = nullptr;
    ASSERT_EQ(RegCreateKeyExW(HKEY_CURRENT_USER, kLegacyPath, 0, nullptr, 0, KEY_WRITE | WRITE_DAC, nullptr,
                              &key, nullptr),
              ERROR_SUCCESS);
    RestrictIdentityKey(key);
    RegSetValueExW(key, kIdentityKeyValue, 0, REG_BINARY, sealed.data(), static_cast<DWORD>(sealed.size()));
    RegSetValueExW(key, kIdentityPublicKeyValue, 0, REG_BINARY, id.publicKey.data(), 32);
    RegCloseKey(key);
  }

  RegistryKeyStore store{HKEY_CURRENT_USER, kPath, kLegacyPath};
};

// The service's key goes with the service, so the identity moves out of it and outlives an
// uninstall; a reinstalled host keeps its fingerprint.
TEST_F(RegistryIdentity, AnUpgradedHostKeepsItsKeyAndFingerprintMovedAndSealedAgainForItsAccount) {
  Identity old;
  ASSERT_TRUE(GenerateIdentity(old));
  WriteLegacy(old);
  const auto legacyBlob = Sealed(kLegacyPath);
  Identity upgraded;
  ASSERT_TRUE(LoadOrCreateIdentity(store, upgraded));
  EXPECT_EQ(upgraded.publicKey, old.publicKey);
  EXPECT_EQ(upgraded.seed, old.seed);
  EXPECT_EQ(FormatFingerprint(upgraded.publicKey), FormatFingerprint(old.publicKey));
  EXPECT_TRUE(Sealed(kLegacyPath).empty()) << "left in the service's key";
  EXPECT_NE(Sealed(), legacyBlob) << "sealed again";
  EXPECT_EQ(Sddl(), kIdentityKeySddl);
  Identity loaded;
  EXPECT_EQ(store.Load(loaded), KeyLoad::Loaded);
  EXPECT_EQ(loaded.publicKey, old.publicKey);
}

TEST_F(RegistryIdentity, AKeyOthersMayReadIsRestrictedAndOneOthersMayWriteIsNotTrusted) {
  Identity made, loaded;
  ASSERT_TRUE(LoadOrCreateIdentity(store, made));
  // Users may read (as service keys grant by default): restricted again, the key kept.
  ASSERT_TRUE(SetSddl(L"D:P(A;CI;KA;;;SY)(A;CI;KA;;;BA)(A;CI;KR;;;BU)"));
  EXPECT_EQ(store.Load(loaded), KeyLoad::Loaded);
  EXPECT_EQ(loaded.publicKey, made.publicKey);
  EXPECT_EQ(Sddl(), L"D:P(A;CI;KA;;;SY)(A;CI;KA;;;BA)");

  // Everyone may write: someone may have planted a key of their own. Restricted, and the
  // identity replaced.
  ASSERT_TRUE(SetSddl(L"D:P(A;CI;KA;;;SY)(A;CI;KA;;;BA)(A;CI;KW;;;WD)"));
  EXPECT_EQ(store.Load(loaded), KeyLoad::Damaged);
  EXPECT_EQ(Sddl(), L"D:P(A;CI;KA;;;SY)(A;CI;KA;;;BA)");
  Identity replaced;
  ASSERT_TRUE(LoadOrCreateIdentity(store, replaced));
  EXPECT_NE(replaced.publicKey, made.publicKey);

  // A null DACL grants everything to everyone: the same.
  ASSERT_TRUE(LoadOrCreateIdentity(store, replaced));
  HKEY key = nullptr;
  ASSERT_EQ(RegOpenKeyExW(HKEY_CURRENT_USER, kPath, 0, WRITE_DAC, &key), ERROR_SUCCESS);
  SECURITY_DESCRIPTOR open{};
  ASSERT_TRUE(InitializeSecurityDescriptor(&open, SECURITY_DESCRIPTOR_REVISION));
  ASSERT_TRUE(SetSecurityDescriptorDacl(&open, TRUE, nullptr, FALSE));
  ASSERT_EQ(RegSetKeySecurity(key, DACL_SECURITY_INFORMATION, &open), ERROR_SUCCESS);
  RegCloseKey(key);
  EXPECT_EQ(store.Load(loaded), KeyLoad::Damaged);
  EXPECT_EQ(Sddl(), L"D:P(A;CI;KA;;;SY)(A;CI;KA;;;BA)");

  // A key nobody may read (an empty DACL): not readable now, which is no reason for a new
  // identity.
  ASSERT_TRUE(LoadOrCreateIdentity(store, replaced));
  ASSERT_TRUE(SetSddl(L"D:P"));
  EXPECT_EQ(store.Load(loaded), KeyLoad::Unavailable);
  EXPECT_FALSE(LoadOrCreateIdentity(store, loaded));
  ASSERT_TRUE(SetSddl(kIdentityKeySddl));
  ASSERT_EQ(store.Load(loaded), KeyLoad::Loaded);
  EXPECT_EQ(loaded.publicKey, replaced.publicKey) << "the key survived the passing failure";
}

TEST_F(RegistryIdentity, DamagedValuesMakeANewIdentityAndOnlyThey) {
  Identity made, loaded;
  ASSERT_TRUE(LoadOrCreateIdentity(store, made));
  HKEY key = nullptr;
  ASSERT_EQ(RegOpenKeyExW(HKEY_CURRENT_USER, kPath, 0, KEY_WRITE, &key), ERROR_SUCCESS);
  // A sealed value of another type, a cut public key, a public key alone.
  const DWORD number = 1;
  RegSetValueExW(key, kIdentityKeyValue, 0, REG_DWORD, reinterpret_cast<const BYTE*>(&number), 4);
  EXPECT_EQ(store.Load(loaded), KeyLoad::Damaged);
  RegSetValueExW(key, kIdentityPublicKeyValue, 0, REG_BINARY, made.publicKey.data(), 31);
  EXPECT_EQ(store.Load(loaded), KeyLoad::Damaged);
  RegDeleteValueW(key, kIdentityKeyValue);
  EXPECT_EQ(store.Load(loaded), KeyLoad::Damaged);
  RegDeleteValueW(key, kIdentityPublicKeyValue);
  EXPECT_EQ(store.Load(loaded), KeyLoad::Missing);
  RegCloseKey(key);
}
#endif

}  // namespace
}  // namespace tavi
