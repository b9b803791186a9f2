// Ethernet-level constants and MAC helpers shared by the client and server transports.
#pragma once

#include <array>
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <string>

namespace tavi {

using Mac = std::array<uint8_t, 6>;
using Clock = std::chrono::steady_clock;

constexpr Mac kBroadcast = {0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF};
// IEEE 802 local experimental EtherType: never assigned to a public protocol.
constexpr uint16_t kEtherType = 0x88B5;
constexpr std::size_t kEthernetHeaderLength = 14;
constexpr std::size_t kEthernetMaxPayload = 1500;
// Shortest frame on the wire without FCS; shorter ones are padded with zeros.
constexpr std::size_t kEthernetMinFrame = 60;
constexpr std::size_t kEthernetMaxFrame = kEthernetHeaderLength + kEthernetMaxPayload;

inline bool IsBroadcast(const Mac& mac) { return mac == kBroadcast; }

inline Mac MacAt(const uint8_t* p) {
  Mac mac;
  for (std::size_t i = 0; i < mac.size(); ++i) mac[i] = p[i];
  return mac;
}

// The EtherType field is the one big-endian field we read.
inline uint16_t EtherTypeAt(const uint8_t* frame) {
  return static_cast<uint16_t>((frame[12] << 8) | frame[13]);
}

std::string FormatMac(const Mac& mac);

}  // namespace tavi
