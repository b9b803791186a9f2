#include "transport/core/wipe.h"

#include <sodium.h>

namespace tavi {

void Wipe(void* data, std::size_t length) {
  if (data != nullptr && length != 0) sodium_memzero(data, length);
}

void WipeSecret(std::string& text) {
  if (text.capacity() > 0) Wipe(&text[0], text.capacity());
  text.clear();
}

void WipeSecret(std::vector<uint8_t>& bytes) {
  Wipe(bytes.data(), bytes.size());
  bytes.clear();
}

}  // namespace tavi
