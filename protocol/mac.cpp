#include "protocol/mac.h"

#include <cstdio>

std::string FormatMac(const Mac& mac, char separator) {
  char text[18];
  std::snprintf(text, sizeof text, "%02X%c%02X%c%02X%c%02X%c%02X%c%02X", mac[0], separator, mac[1],
                separator, mac[2], separator, mac[3], separator, mac[4], separator, mac[5]);
  return text;
}

std::optional<Mac> ParseMac(std::string_view text, std::string_view separators) {
  if (text.size() != 17) return std::nullopt;
  Mac mac{};
  for (std::size_t i = 0; i < mac.size(); ++i) {
    if (i > 0 && separators.find(text[i * 3 - 1]) == std::string_view::npos) return std::nullopt;
    unsigned byte = 0;
    for (std::size_t k = 0; k < 2; ++k) {
      const char c = text[i * 3 + k];
      unsigned digit;
      if (c >= '0' && c <= '9') digit = static_cast<unsigned>(c - '0');
      else if (c >= 'a' && c <= 'f') digit = static_cast<unsigned>(c - 'a' + 10);
      else if (c >= 'A' && c <= 'F') digit = static_cast<unsigned>(c - 'A' + 10);
      else return std::nullopt;
      byte = byte * 16 + digit;
    }
    mac[i] = static_cast<uint8_t>(byte);
  }
  return mac;
}
