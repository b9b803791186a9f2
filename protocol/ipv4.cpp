// Dotted IPv4 text, parsed and formatted as inet_addr and inet_ntoa do.
#include "protocol/ipv4.h"

#include <cstdio>

namespace {

int DigitValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return 99;
}

// One part at text[pos...]: 0x/0X hexadecimal, a leading 0 octal, else decimal. Stops at the
// first character that is no digit of its base; false on no digits, a digit outside the base
// (08) or a value beyond 32 bits.
bool ParsePart(std::string_view text, std::size_t& pos, uint32_t& value) {
  unsigned base = 10;
  bool haveDigits = false;
  if (pos < text.size() && text[pos] == '0') {
    ++pos;
    if (pos < text.size() && (text[pos] == 'x' || text[pos] == 'X')) {
      base = 16;
      ++pos;
    } else {
      base = 8;
      haveDigits = true;  // the 0 itself
    }
  }
  uint64_t v = 0;
  while (pos < text.size()) {
    const char c = text[pos];
    const int d = DigitValue(c);
    const bool isDecimal = c >= '0' && c <= '9';
    if (base == 16 ? d >= 16 : !isDecimal) break;
    if (static_cast<unsigned>(d) >= base) return false;  // 8 or 9 in an octal part
    v = v * base + static_cast<unsigned>(d);
    if (v > 0xFFFFFFFFu) return false;
    haveDigits = true;
    ++pos;
  }
  value = static_cast<uint32_t>(v);
  return haveDigits;
}

}  // namespace

uint32_t ParseIpv4(std::string_view text) {
  // inet_addr takes a C string: the text ends at the first NUL.
  const std::size_t nul = text.find('\0');
  if (nul != std::string_view::npos) text = text.substr(0, nul);

  uint32_t parts[4] = {};
  std::size_t count = 0;
  std::size_t pos = 0;
  for (;;) {
    if (count == 4) return kInvalidIpv4;
    if (!ParsePart(text, pos, parts[count])) return kInvalidIpv4;
    ++count;
    if (pos == text.size()) break;
    if (text[pos] != '.') return kInvalidIpv4;
    ++pos;
  }

  // The last part fills all the bytes the earlier ones leave; each earlier part is one byte.
  static constexpr uint32_t kLastPartLimit[4] = {0xFFFFFFFFu, 0xFFFFFFu, 0xFFFFu, 0xFFu};
  uint32_t address = 0;
  for (std::size_t i = 0; i + 1 < count; ++i) {
    if (parts[i] > 0xFF) return kInvalidIpv4;
    address |= parts[i] << (24 - 8 * i);
  }
  if (parts[count - 1] > kLastPartLimit[count - 1]) return kInvalidIpv4;
  return address | parts[count - 1];
}

std::string FormatIpv4(uint32_t address) {
  char text[16];
  std::snprintf(text, sizeof text, "%u.%u.%u.%u", static_cast<unsigned>(address >> 24),
                static_cast<unsigned>((address >> 16) & 0xFF),
                static_cast<unsigned>((address >> 8) & 0xFF), static_cast<unsigned>(address & 0xFF));
  return text;
}
