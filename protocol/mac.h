// The 6-byte Ethernet address that names consoles, agents and their adapters, and its text
// form "00:1A:2B:FF:00:09" (upper-case hex; the agent's event texts use '-').
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

using Mac = std::array<uint8_t, 6>;

constexpr Mac kBroadcastMac = {0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF};

inline bool IsBroadcast(const Mac& mac) { return mac == kBroadcastMac; }

// The six bytes at `p`; the caller has checked they are there.
inline Mac MacAt(const uint8_t* p) {
  Mac mac;
  for (std::size_t i = 0; i < mac.size(); ++i) mac[i] = p[i];
  return mac;
}

std::string FormatMac(const Mac& mac, char separator = ':');
// Exactly six pairs of hex digits (either case), each pair after the first preceded by one
// of `separators`; nothing else, so a stray byte or a short text is no address.
std::optional<Mac> ParseMac(std::string_view text, std::string_view separators = ":-");
