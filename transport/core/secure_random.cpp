#include "transport/core/secure_random.h"

#ifdef _WIN32
// clang-format off
#include <windows.h>
#include <bcrypt.h>
// clang-format on
#else
#include <sys/random.h>

#include <cerrno>
#endif

namespace tavi {

bool FillSecureRandom(uint8_t* buffer, std::size_t length) {
  if (buffer == nullptr) return false;
#ifdef _WIN32
  while (length > 0) {
    const ULONG chunk = length > 0x10000000 ? 0x10000000 : static_cast<ULONG>(length);
    if (!BCRYPT_SUCCESS(BCryptGenRandom(nullptr, buffer, chunk, BCRYPT_USE_SYSTEM_PREFERRED_RNG)))
      return false;
    buffer += chunk;
    length -= chunk;
  }
  return true;
#else
  while (length > 0) {
    const ssize_t n = getrandom(buffer, length, 0);
    if (n < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    buffer += n;
    length -= static_cast<std::size_t>(n);
  }
  return true;
#endif
}

}  // namespace tavi
