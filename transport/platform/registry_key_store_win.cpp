#include "transport/platform/registry_key_store.h"

#include <aclapi.h>
#include <dpapi.h>
#include <sddl.h>

#include <vector>

namespace tavi {

const wchar_t* const kIdentityKeySddl = L"D:P(A;CI;KA;;;SY)(A;CI;KA;;;BA)";

namespace {

// Binds each sealed blob to its purpose, so another program's sealed data does not unseal as
// our key. v2: sealed for the service's account; v1: earlier versions, sealed for the machine.
const char kEntropy[] = "Netvane agent identity v2";
const char kLegacyEntropy[] = "Netvane agent identity v1";

struct RegKey {
  HKEY h = nullptr;
  ~RegKey() {
    if (h) RegCloseKey(h);
  }
};

// Absent, present, or not readable now.
enum class ValueRead { Ok, Absent, Wrong, Failed };

ValueRead ReadBinary(HKEY key, const wchar_t* name, std::vector<uint8_t>& out) {
  DWORD type = 0, size = 0;
  LONG status = RegQueryValueExW(key, name, nullptr, &type, nullptr, &size);
  if (status == ERROR_FILE_NOT_FOUND) return ValueRead::Absent;
  if (status != ERROR_SUCCESS) return ValueRead::Failed;
  if (type != REG_BINARY || size == 0 || size > 4096) return ValueRead::Wrong;
  out.assign(size, 0);
  status = RegQueryValueExW(key, name, nullptr, &type, out.data(), &size);
  if (status == ERROR_FILE_NOT_FOUND) return ValueRead::Absent;  // deleted meanwhile
  if (status != ERROR_SUCCESS) return ValueRead::Failed;         // grown meanwhile, say
  if (type != REG_BINARY) return ValueRead::Wrong;
  out.resize(size);
  return ValueRead::Ok;
}

DATA_BLOB EntropyBlob(const char* entropy, std::size_t size) {
  return DATA_BLOB{static_cast<DWORD>(size), reinterpret_cast<BYTE*>(const_cast<char*>(entropy))};
}

// Whether a failed unseal says the blob is bad for good. The system's sealing may also fail
// for a while (its service not started yet, no memory): that must not cost the identity.
bool DamagedBlobError(DWORD error) {
  switch (error) {
    case ERROR_INVALID_DATA:
    case ERROR_INVALID_PARAMETER:
    case static_cast<DWORD>(NTE_BAD_DATA):
    case static_cast<DWORD>(NTE_BAD_KEY):
    case static_cast<DWORD>(NTE_BAD_KEY_STATE):
    case static_cast<DWORD>(NTE_BAD_VER):
    case static_cast<DWORD>(CRYPT_E_BAD_MSG):
      return true;
    default:
      return false;
  }
}

KeyLoad Unseal(const std::vector<uint8_t>& sealed, const char* entropy, std::size_t entropySize,
               crypto::Key& seed) {
  DATA_BLOB in{static_cast<DWORD>(sealed.size()), const_cast<BYTE*>(sealed.data())};
  DATA_BLOB extra = EntropyBlob(entropy, entropySize);
  DATA_BLOB out{};
  if (!CryptUnprotectData(&in, nullptr, &extra, nullptr, nullptr, CRYPTPROTECT_UI_FORBIDDEN, &out))
    return DamagedBlobError(GetLastError()) ? KeyLoad::Damaged : KeyLoad::Unavailable;
  const bool ok = out.cbData == seed.size();
  if (ok) std::copy(out.pbData, out.pbData + out.cbData, seed.begin());
  crypto::Wipe(out.pbData, out.cbData);
  LocalFree(out.pbData);
  return ok ? KeyLoad::Loaded : KeyLoad::Damaged;
}

// Who besides SYSTEM and the Administrators may touch the key.
struct Exposure {
  bool read = false;
  bool write = false;
};

bool IsSystemOrAdministrators(PSID sid) {
  return IsWellKnownSid(sid, WinLocalSystemSid) || IsWellKnownSid(sid, WinBuiltinAdministratorsSid);
}

bool CheckExposure(HKEY key, Exposure& out) {
  PACL dacl = nullptr;
  PSECURITY_DESCRIPTOR sd = nullptr;
  if (GetSecurityInfo(key, SE_REGISTRY_KEY, DACL_SECURITY_INFORMATION, nullptr, nullptr, &dacl,
                      nullptr, &sd) != ERROR_SUCCESS)
    return false;
  const ACCESS_MASK kWrite = KEY_SET_VALUE | KEY_CREATE_SUB_KEY | KEY_CREATE_LINK | WRITE_DAC |
                             WRITE_OWNER | DELETE | GENERIC_WRITE | GENERIC_ALL;
  const ACCESS_MASK kRead = KEY_QUERY_VALUE | GENERIC_READ | GENERIC_ALL;
  if (dacl == nullptr) {
    out.read = out.write = true;  // a null DACL grants everyone everything
  } else {
    for (DWORD i = 0; i < dacl->AceCount; ++i) {
      void* ace = nullptr;
      if (!GetAce(dacl, i, &ace)) {
        out.read = out.write = true;
        break;
      }
      const auto* header = static_cast<ACE_HEADER*>(ace);
      if (header->AceType == ACCESS_DENIED_ACE_TYPE || (header->AceFlags & INHERIT_ONLY_ACE) != 0)
        continue;
      if (header->AceType != ACCESS_ALLOWED_ACE_TYPE) {
        out.read = out.write = true;  // conditional or object grants: not ours, refuse them
        continue;
      }
      const auto* allowed = static_cast<ACCESS_ALLOWED_ACE*>(ace);
      PSID sid = const_cast<DWORD*>(&allowed->SidStart);
      if (IsSystemOrAdministrators(sid)) continue;
      if (allowed->Mask & kWrite) out.write = true;
      if (allowed->Mask & kRead) out.read = true;
    }
  }
  LocalFree(sd);
  return true;
}

}  // namespace

bool SealIdentitySeed(const crypto::Key& seed, SealScope scope, std::vector<uint8_t>& sealed) {
  DATA_BLOB in{static_cast<DWORD>(seed.size()), const_cast<BYTE*>(seed.data())};
  const bool legacy = scope == SealScope::LegacyMachine;
  DATA_BLOB extra = legacy ? EntropyBlob(kLegacyEntropy, sizeof kLegacyEntropy)
                           : EntropyBlob(kEntropy, sizeof kEntropy);
  DATA_BLOB out{};
  // Without CRYPTPROTECT_LOCAL_MACHINE the blob is sealed with the master key of the account
  // that calls: for the agent, LocalSystem, so only a process running as SYSTEM unseals it.
  const DWORD flags = CRYPTPROTECT_UI_FORBIDDEN | (legacy ? CRYPTPROTECT_LOCAL_MACHINE : 0);
  if (!CryptProtectData(&in, L"Netvane agent identity", &extra, nullptr, nullptr, flags, &out))
    return false;
  sealed.assign(out.pbData, out.pbData + out.cbData);
  LocalFree(out.pbData);
  return true;
}

bool RestrictIdentityKey(HKEY key) {
  PSECURITY_DESCRIPTOR sd = nullptr;
  if (!ConvertStringSecurityDescriptorToSecurityDescriptorW(kIdentityKeySddl, SDDL_REVISION_1, &sd,
                                                            nullptr))
    return false;
  const bool ok = RegSetKeySecurity(key, DACL_SECURITY_INFORMATION, sd) == ERROR_SUCCESS;
  LocalFree(sd);
  return ok;
}

RegistryKeyStore::RegistryKeyStore(HKEY root, std::wstring path, std::wstring legacyPath)
    : root_(root), path_(std::move(path)), legacyPath_(std::move(legacyPath)) {}

KeyLoad RegistryKeyStore::Load(Identity& out) {
  const KeyLoad load = LoadFrom(path_, out);
  if (load != KeyLoad::Missing || legacyPath_.empty()) return load;
  return MoveFromLegacy(out);
}

// The identity an earlier version kept in the service's key, saved (sealed for SYSTEM) in
// the identity key and only then removed from the old place. A move that cannot be saved now
// keeps the old values and is tried again at the next start; the identity serves meanwhile.
KeyLoad RegistryKeyStore::MoveFromLegacy(Identity& out) {
  const KeyLoad load = LoadFrom(legacyPath_, out);
  if (load != KeyLoad::Loaded && load != KeyLoad::LoadedLegacy) return load;
  if (!Save(out)) return load;
  RegKey legacy;
  if (RegOpenKeyExW(root_, legacyPath_.c_str(), 0, KEY_SET_VALUE, &legacy.h) == ERROR_SUCCESS) {
    RegDeleteValueW(legacy.h, kIdentityKeyValue);
    RegDeleteValueW(legacy.h, kIdentityPublicKeyValue);
  }
  return KeyLoad::Loaded;
}

KeyLoad RegistryKeyStore::LoadFrom(const std::wstring& path, Identity& out) {
  RegKey key;
  const LONG opened = RegOpenKeyExW(root_, path.c_str(), 0, KEY_READ, &key.h);
  if (opened == ERROR_FILE_NOT_FOUND) return KeyLoad::Missing;
  if (opened != ERROR_SUCCESS) return KeyLoad::Unavailable;  // access refused, registry error

  // Checked on every load: a key that others may read or write had its DACL widened since we
  // saved it. Others that could write may have planted a key of their own (a machine-sealed
  // blob unseals for us as well as theirs), so that identity is not used.
  Exposure exposure;
  if (!CheckExposure(key.h, exposure)) return KeyLoad::Unavailable;
  if (exposure.read || exposure.write) {
    RegKey writable;
    if (RegOpenKeyExW(root_, path.c_str(), 0, KEY_READ | KEY_SET_VALUE | WRITE_DAC, &writable.h) !=
            ERROR_SUCCESS ||
        !RestrictIdentityKey(writable.h))
      return KeyLoad::Unavailable;  // neither used nor replaced while others can reach it
    if (exposure.write) {
      // Removed, not just skipped: with the DACL mended the next load must not take it.
      RegDeleteValueW(writable.h, kIdentityKeyValue);
      RegDeleteValueW(writable.h, kIdentityPublicKeyValue);
      return KeyLoad::Damaged;
    }
  }

  std::vector<uint8_t> publicKey, sealed;
  const ValueRead pub = ReadBinary(key.h, kIdentityPublicKeyValue, publicKey);
  const ValueRead seal = ReadBinary(key.h, kIdentityKeyValue, sealed);
  if (pub == ValueRead::Failed || seal == ValueRead::Failed) return KeyLoad::Unavailable;
  if (pub == ValueRead::Absent && seal == ValueRead::Absent) return KeyLoad::Missing;
  if (pub != ValueRead::Ok || seal != ValueRead::Ok || publicKey.size() != out.publicKey.size())
    return KeyLoad::Damaged;
  KeyLoad result = Unseal(sealed, kEntropy, sizeof kEntropy, out.seed);
  if (result != KeyLoad::Loaded) {
    // Sealed by an earlier version, for the machine: kept, and sealed again for SYSTEM.
    const KeyLoad legacy = Unseal(sealed, kLegacyEntropy, sizeof kLegacyEntropy, out.seed);
    if (legacy == KeyLoad::Loaded)
      result = KeyLoad::LoadedLegacy;
    else if (legacy == KeyLoad::Unavailable)
      result = KeyLoad::Unavailable;  // damaged only when neither way says "for a while"
  }
  if (result != KeyLoad::Loaded && result != KeyLoad::LoadedLegacy) {
    crypto::Wipe(out.seed);
    return result;
  }
  std::copy(publicKey.begin(), publicKey.end(), out.publicKey.begin());
  return result;
}

bool RegistryKeyStore::Save(const Identity& identity) {
  std::vector<uint8_t> sealed;
  if (!SealIdentitySeed(identity.seed, SealScope::Service, sealed)) return false;
  RegKey key;
  if (RegCreateKeyExW(root_, path_.c_str(), 0, nullptr, 0, KEY_READ | KEY_WRITE | WRITE_DAC,
                      nullptr, &key.h, nullptr) != ERROR_SUCCESS)
    return false;
  // Restricted first: the sealed key is never readable under the old, wider DACL.
  return RestrictIdentityKey(key.h) &&
         RegSetValueExW(key.h, kIdentityKeyValue, 0, REG_BINARY, sealed.data(),
                        static_cast<DWORD>(sealed.size())) == ERROR_SUCCESS &&
         RegSetValueExW(key.h, kIdentityPublicKeyValue, 0, REG_BINARY, identity.publicKey.data(),
                        static_cast<DWORD>(identity.publicKey.size())) == ERROR_SUCCESS;
}

}  // namespace tavi
