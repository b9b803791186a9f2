// The one way secrets are wiped: keys, passwords and every buffer that held them are
// overwritten with sodium_memzero, which the compiler cannot drop as a dead store.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace tavi {

void Wipe(void* data, std::size_t length);
// A fixed-size container (std::array, a key) in place.
template <typename T>
void Wipe(T& value) {
  Wipe(value.data(), value.size() * sizeof(value[0]));
}

// Wipes, then empties. A text's whole allocation: a shorter text may have left older bytes
// behind its end, and clear() keeps the allocation.
void WipeSecret(std::string& text);
void WipeSecret(std::vector<uint8_t>& bytes);

}  // namespace tavi
