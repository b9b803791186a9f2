// Passwords typed in the console do not stay in memory once their request has been sent:
// their bytes are overwritten in place before the string or buffer lets them go.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

// Volatile writes, so the compiler cannot drop them as stores to memory about to be freed.
inline void WipeSecret(std::string& secret) {
  volatile char* bytes = secret.data();
  for (std::size_t i = 0; i < secret.size(); ++i) bytes[i] = '\0';
  secret.clear();
}

inline void WipeSecret(std::vector<uint8_t>& secret) {
  volatile uint8_t* bytes = secret.data();
  for (std::size_t i = 0; i < secret.size(); ++i) bytes[i] = 0;
  secret.clear();
}
