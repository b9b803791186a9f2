// Ethernet-level constants shared by the client and server transports; the MAC type and
// its helpers are protocol/mac.h.
#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>

#include "protocol/mac.h"

namespace tavi {

using Clock = std::chrono::steady_clock;

// IEEE 802 local experimental EtherType: never assigned to a public protocol.
constexpr uint16_t kEtherType = 0x88B5;
constexpr std::size_t kEthernetHeaderLength = 14;
constexpr std::size_t kEthernetMaxPayload = 1500;
// Shortest frame on the wire without FCS; shorter ones are padded with zeros.
constexpr std::size_t kEthernetMinFrame = 60;
constexpr std::size_t kEthernetMaxFrame = kEthernetHeaderLength + kEthernetMaxPayload;

// The EtherType field is the one big-endian field we read.
inline uint16_t EtherTypeAt(const uint8_t* frame) {
  return static_cast<uint16_t>((frame[12] << 8) | frame[13]);
}

}  // namespace tavi
