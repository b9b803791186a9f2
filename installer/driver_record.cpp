#include "installer/driver_record.h"

#include <bcrypt.h>

#include "installer/agent_key.h"

namespace {

class Handle {
 public:
  explicit Handle(HANDLE handle) : handle_(handle) {}
  ~Handle() {
    if (handle_ != INVALID_HANDLE_VALUE) CloseHandle(handle_);
  }
  Handle(const Handle&) = delete;
  Handle& operator=(const Handle&) = delete;
  HANDLE get() const { return handle_; }

 private:
  HANDLE handle_;
};

bool HashStream(HANDLE file, BCRYPT_HASH_HANDLE hash) {
  static BYTE chunk[64 * 1024];
  for (;;) {
    DWORD read = 0;
    if (!ReadFile(file, chunk, sizeof chunk, &read, nullptr)) return false;
    if (read == 0) return true;
    if (!BCRYPT_SUCCESS(BCryptHashData(hash, chunk, read, 0))) return false;
  }
}

}  // namespace

bool DigestFile(const wchar_t* path, FileDigest& digest) {
  Handle file(CreateFileW(path, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                          FILE_FLAG_SEQUENTIAL_SCAN, nullptr));
  if (file.get() == INVALID_HANDLE_VALUE) return false;
  BCRYPT_ALG_HANDLE algorithm = nullptr;
  if (!BCRYPT_SUCCESS(BCryptOpenAlgorithmProvider(&algorithm, BCRYPT_SHA256_ALGORITHM, nullptr, 0)))
    return false;
  BCRYPT_HASH_HANDLE hash = nullptr;
  bool done = false;
  if (BCRYPT_SUCCESS(BCryptCreateHash(algorithm, &hash, nullptr, 0, nullptr, 0, 0))) {
    done = HashStream(file.get(), hash) &&
           BCRYPT_SUCCESS(BCryptFinishHash(hash, digest.data(), static_cast<ULONG>(digest.size()), 0));
    BCryptDestroyHash(hash);
  }
  BCryptCloseAlgorithmProvider(algorithm, 0);
  return done;
}

LONG RecordDriverDigest(const FileDigest& digest) {
  HKEY parameters = nullptr;
  LONG result = RegCreateKeyExW(HKEY_LOCAL_MACHINE, kAgentParameterKey, 0, nullptr, 0,
                                KEY_SET_VALUE, nullptr, &parameters, nullptr);
  if (result != ERROR_SUCCESS) return result;
  result = RegSetValueExW(parameters, kDriverDigestValue, 0, REG_BINARY, digest.data(),
                          static_cast<DWORD>(digest.size()));
  RegCloseKey(parameters);
  return result;
}

bool ReadDriverDigest(FileDigest& digest) {
  HKEY parameters = nullptr;
  if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, kAgentParameterKey, 0, KEY_QUERY_VALUE, &parameters) !=
      ERROR_SUCCESS)
    return false;
  BYTE bytes[sizeof(FileDigest) + 1] = {};  // one more, so that a longer value shows
  DWORD type = 0;
  DWORD size = sizeof bytes;
  const LONG result =
      RegQueryValueExW(parameters, kDriverDigestValue, nullptr, &type, bytes, &size);
  RegCloseKey(parameters);
  if (result != ERROR_SUCCESS || type != REG_BINARY || size != digest.size()) return false;
  for (std::size_t i = 0; i < digest.size(); ++i) digest[i] = bytes[i];
  return true;
}

void ForgetDriverDigest() {
  HKEY parameters = nullptr;
  if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, kAgentParameterKey, 0, KEY_SET_VALUE, &parameters) !=
      ERROR_SUCCESS)
    return;
  RegDeleteValueW(parameters, kDriverDigestValue);
  RegCloseKey(parameters);
}
