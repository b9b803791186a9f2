#include "console/core/launch_guard.h"

#include <string>

#include "protocol/ipv4.h"

namespace {

constexpr std::size_t kMaxHostNameChars = 253;
constexpr std::size_t kMaxLabelChars = 63;

char Lower(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }

bool StartsWithNoCase(std::string_view text, std::string_view prefix) {
  if (text.size() < prefix.size()) return false;
  for (std::size_t i = 0; i < prefix.size(); ++i)
    if (Lower(text[i]) != prefix[i]) return false;
  return true;
}

bool IsLetter(char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); }
bool IsDigit(char c) { return c >= '0' && c <= '9'; }

// Printable ASCII without blank, quotes and backslash (which browsers and the shell read as
// a path separator).
bool IsSafeCharacter(char c) {
  const auto u = static_cast<unsigned char>(c);
  if (u <= 0x20 || u >= 0x7F) return false;
  return c != '"' && c != '\'' && c != '`' && c != '\\';
}

bool IsPlainHostName(std::string_view host) {
  if (host.empty() || host.size() > kMaxHostNameChars) return false;
  std::size_t start = 0;
  bool lastLabelHasLetter = false;
  while (start <= host.size()) {
    std::size_t end = host.find('.', start);
    if (end == std::string_view::npos) end = host.size();
    const std::string_view label = host.substr(start, end - start);
    if (label.empty() || label.size() > kMaxLabelChars) return false;
    if (label.front() == '-' || label.back() == '-') return false;
    lastLabelHasLetter = false;
    for (char c : label) {
      if (IsLetter(c)) lastLabelHasLetter = true;
      else if (!IsDigit(c) && c != '-') return false;
    }
    start = end + 1;
  }
  return lastLabelHasLetter;
}

bool IsValidPort(std::string_view port) {
  if (port.empty() || port.size() > 5) return false;
  unsigned value = 0;
  for (char c : port) {
    if (!IsDigit(c)) return false;
    value = value * 10 + static_cast<unsigned>(c - '0');
  }
  return value >= 1 && value <= 65535;
}

}  // namespace

LaunchRefusal CheckLaunchAddress(std::string_view url, uint32_t hostAddress) {
  std::size_t schemeLength = 0;
  if (StartsWithNoCase(url, "http://")) schemeLength = 7;
  else if (StartsWithNoCase(url, "https://")) schemeLength = 8;
  else return LaunchRefusal::NotWebAddress;

  for (char c : url)
    if (!IsSafeCharacter(c)) return LaunchRefusal::UnsafeCharacter;

  const std::string_view rest = url.substr(schemeLength);
  const std::string_view authority = rest.substr(0, rest.find_first_of("/?#"));
  // "user@host" makes the text before '@' look like the host to a reader.
  if (authority.find('@') != std::string_view::npos) return LaunchRefusal::HostNotAllowed;

  const std::size_t colon = authority.find(':');
  const std::string_view host = authority.substr(0, colon);
  const bool isHostAddress = !IsNoAddress(hostAddress) && host == FormatIpv4(hostAddress);
  if (!isHostAddress && !IsPlainHostName(host)) return LaunchRefusal::HostNotAllowed;
  if (colon != std::string_view::npos && !IsValidPort(authority.substr(colon + 1)))
    return LaunchRefusal::BadPort;
  return LaunchRefusal::None;
}

const char* LaunchRefusalText(LaunchRefusal refusal) {
  switch (refusal) {
    case LaunchRefusal::None: return "";
    case LaunchRefusal::NotWebAddress: return "not an http or https address";
    case LaunchRefusal::UnsafeCharacter: return "blank, quote or control character in the address";
    case LaunchRefusal::HostNotAllowed: return "host is neither the host's address nor a plain name";
    case LaunchRefusal::BadPort: return "port is not a number from 1 to 65535";
  }
  return "";
}
