// The text an administrator compares: SHA-256 of an agent's 32-byte Ed25519 public key in
// 16 groups of 4 upper-case hex digits ("9F3A 0C11 ..."). Library tavi_crypto.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace tavi {

// Empty for a null key or a length other than 32.
std::string FormatFingerprint(const uint8_t* publicKey, std::size_t length);

}  // namespace tavi
