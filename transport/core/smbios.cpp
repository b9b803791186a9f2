#include "transport/core/smbios.h"

#include <algorithm>
#include <cstring>

#include "protocol/byte_order.h"

namespace tavi {

namespace {
constexpr std::size_t kRawHeaderLength = 8;
constexpr uint8_t kBaseboardType = 2;
constexpr uint8_t kEndOfTableType = 127;
constexpr std::size_t kProductStringOffset = 5;
}  // namespace

std::string BaseboardProduct(const uint8_t* data, std::size_t length) {
  if (data == nullptr || length < kRawHeaderLength) return {};
  const std::size_t tableLength =
      std::min<std::size_t>(LoadU32(data + 4), length - kRawHeaderLength);
  const uint8_t* p = data + kRawHeaderLength;
  const uint8_t* end = p + tableLength;
  while (end - p >= 4) {
    const uint8_t type = p[0];
    const uint8_t formatted = p[1];
    if (formatted < 4 || formatted > end - p) return {};
    // The string set follows the formatted part and ends with two NULs.
    const uint8_t* strings = p + formatted;
    const uint8_t* q = strings;
    while (end - q >= 2 && !(q[0] == 0 && q[1] == 0)) ++q;
    if (end - q < 2) return {};
    const uint8_t* next = q + 2;

    if (type == kBaseboardType && formatted > kProductStringOffset) {
      const uint8_t number = p[kProductStringOffset];
      if (number == 0) return {};
      const uint8_t* s = strings;
      for (uint8_t i = 1; i < number && s < q; ++i) s += std::strlen(reinterpret_cast<const char*>(s)) + 1;
      if (s >= q) return {};
      std::string name(reinterpret_cast<const char*>(s));
      while (!name.empty() && (name.back() == ' ' || name.back() == '\t')) name.pop_back();
      return name;
    }
    if (type == kEndOfTableType) return {};
    p = next;
  }
  return {};
}

bool CopyModelName(const std::string& name, std::size_t maxChars, char* out, std::size_t capacity) {
  if (out == nullptr || capacity == 0) return false;
  std::memset(out, 0, capacity);
  if (name.empty() || capacity < 2) return false;
  const std::size_t n = std::min({name.size(), maxChars, capacity - 1});
  std::memcpy(out, name.data(), n);
  return true;
}

}  // namespace tavi
