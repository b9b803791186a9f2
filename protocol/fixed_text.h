// Fixed-width NUL-padded ANSI text fields. The bytes are kept exactly as they travel, so a
// field filled to the last byte (a 16-character password) has no terminator; reading one
// never runs past its width.
#pragma once

#include <array>
#include <cstddef>
#include <cstring>
#include <string>
#include <string_view>

template <std::size_t N>
struct FixedText {
  std::array<char, N> bytes{};

  static constexpr std::size_t size() { return N; }

  // The text up to the first NUL, or all N bytes when there is none.
  std::string str() const {
    std::size_t n = 0;
    while (n < N && bytes[n] != '\0') ++n;
    return std::string(bytes.data(), n);
  }
  bool empty() const { return bytes[0] == '\0'; }

  // Replaces the field: at most maxChars characters (N by default), the rest zero.
  void assign(std::string_view text, std::size_t maxChars = N) {
    bytes.fill('\0');
    std::size_t n = text.size();
    if (n > maxChars) n = maxChars;
    if (n > N) n = N;
    std::memcpy(bytes.data(), text.data(), n);
  }

  bool operator==(const FixedText& other) const { return bytes == other.bytes; }
  bool operator!=(const FixedText& other) const { return bytes != other.bytes; }
};
