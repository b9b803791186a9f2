// Discovery replies are spread over a short window by a delay derived from the answering
// adapter's MAC, so that a segment full of agents does not answer one broadcast in the
// same millisecond and overrun the console's receive buffers. The delay is stable per MAC,
// so a console sees the same order on every discovery.
#pragma once

#include <chrono>

#include "transport/core/wire.h"

namespace tavi {

constexpr std::chrono::microseconds kDiscoverySpreadWindow{200000};

inline std::chrono::microseconds DiscoverySpreadDelay(const Mac& mac) {
  // FNV-1a over the six bytes: vendor prefixes are shared, the low bytes vary, and every
  // byte has to move the result.
  uint32_t hash = 2166136261u;
  for (uint8_t b : mac) {
    hash ^= b;
    hash *= 16777619u;
  }
  return std::chrono::microseconds(hash % static_cast<uint32_t>(kDiscoverySpreadWindow.count()));
}

}  // namespace tavi
