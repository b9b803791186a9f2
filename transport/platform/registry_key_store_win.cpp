#include "transport/platform/registry_key_store.h"

#include <dpapi.h>
#include <sddl.h>

#include <vector>

namespace tavi {

const wchar_t* const kIdentityKeySddl = L"D:P(A;CI;KA;;;SY)(A;CI;KA;;;BA)";

namespace {

// Binds the sealed blob to its purpose: another program's machine-sealed data does not
// unseal as our key.
const char kEntropy[] = "Netvane agent identity v1";

struct RegKey {
  HKEY h = nullptr;
  ~RegKey() {
    if (h) RegCloseKey(h);
  }
};

bool ReadBinary(HKEY key, const wchar_t* name, std::vector<uint8_t>& out) {
  DWORD type = 0, size = 0;
  if (RegQueryValueExW(key, name, nullptr, &type, nullptr, &size) != ERROR_SUCCESS ||
      type != REG_BINARY || size == 0 || size > 4096)
    return false;
  out.assign(size, 0);
  if (RegQueryValueExW(key, name, nullptr, &type, out.data(), &size) != ERROR_SUCCESS ||
      type != REG_BINARY)
    return false;
  out.resize(size);
  return true;
}

bool Seal(const crypto::Key& seed, std::vector<uint8_t>& sealed) {
  DATA_BLOB in{static_cast<DWORD>(seed.size()), const_cast<BYTE*>(seed.data())};
  DATA_BLOB entropy{sizeof kEntropy, reinterpret_cast<BYTE*>(const_cast<char*>(kEntropy))};
  DATA_BLOB out{};
  if (!CryptProtectData(&in, L"Netvane agent identity", &entropy, nullptr, nullptr,
                        CRYPTPROTECT_LOCAL_MACHINE | CRYPTPROTECT_UI_FORBIDDEN, &out))
    return false;
  sealed.assign(out.pbData, out.pbData + out.cbData);
  LocalFree(out.pbData);
  return true;
}

bool Unseal(const std::vector<uint8_t>& sealed, crypto::Key& seed) {
  DATA_BLOB in{static_cast<DWORD>(sealed.size()), const_cast<BYTE*>(sealed.data())};
  DATA_BLOB entropy{sizeof kEntropy, reinterpret_cast<BYTE*>(const_cast<char*>(kEntropy))};
  DATA_BLOB out{};
  if (!CryptUnprotectData(&in, nullptr, &entropy, nullptr, nullptr, CRYPTPROTECT_UI_FORBIDDEN,
                          &out))
    return false;
  const bool ok = out.cbData == seed.size();
  if (ok) std::copy(out.pbData, out.pbData + out.cbData, seed.begin());
  SecureZeroMemory(out.pbData, out.cbData);
  LocalFree(out.pbData);
  return ok;
}

bool Restrict(HKEY key) {
  PSECURITY_DESCRIPTOR sd = nullptr;
  if (!ConvertStringSecurityDescriptorToSecurityDescriptorW(kIdentityKeySddl, SDDL_REVISION_1, &sd,
                                                            nullptr))
    return false;
  const bool ok = RegSetKeySecurity(key, DACL_SECURITY_INFORMATION, sd) == ERROR_SUCCESS;
  LocalFree(sd);
  return ok;
}

}  // namespace

RegistryKeyStore::RegistryKeyStore(HKEY root, std::wstring path)
    : root_(root), path_(std::move(path)) {}

KeyLoad RegistryKeyStore::Load(Identity& out) {
  RegKey key;
  if (RegOpenKeyExW(root_, path_.c_str(), 0, KEY_READ, &key.h) != ERROR_SUCCESS)
    return KeyLoad::Missing;
  std::vector<uint8_t> publicKey, sealed;
  const bool hasPublic = ReadBinary(key.h, kIdentityPublicKeyValue, publicKey);
  const bool hasSealed = ReadBinary(key.h, kIdentityKeyValue, sealed);
  if (!hasPublic && !hasSealed) return KeyLoad::Missing;
  if (!hasPublic || !hasSealed || publicKey.size() != out.publicKey.size())
    return KeyLoad::Damaged;
  if (!Unseal(sealed, out.seed)) return KeyLoad::Damaged;
  std::copy(publicKey.begin(), publicKey.end(), out.publicKey.begin());
  return KeyLoad::Loaded;
}

bool RegistryKeyStore::Save(const Identity& identity) {
  std::vector<uint8_t> sealed;
  if (!Seal(identity.seed, sealed)) return false;
  RegKey key;
  if (RegCreateKeyExW(root_, path_.c_str(), 0, nullptr, 0, KEY_READ | KEY_WRITE | WRITE_DAC,
                      nullptr, &key.h, nullptr) != ERROR_SUCCESS)
    return false;
  // Restricted first: the sealed key is never readable under the old, wider DACL.
  return Restrict(key.h) &&
         RegSetValueExW(key.h, kIdentityKeyValue, 0, REG_BINARY, sealed.data(),
                        static_cast<DWORD>(sealed.size())) == ERROR_SUCCESS &&
         RegSetValueExW(key.h, kIdentityPublicKeyValue, 0, REG_BINARY, identity.publicKey.data(),
                        static_cast<DWORD>(identity.publicKey.size())) == ERROR_SUCCESS;
}

}  // namespace tavi
