#include "transport/client/nic_lookup.h"

#include <algorithm>
#include <cstring>

#include "protocol/frames.h"

namespace tavi {

const uint8_t* FindAnsweringNic(const uint8_t* reply, std::size_t length) {
  constexpr std::size_t kNicCountOffset = FrameOffset::Host + 124;
  constexpr std::size_t kFirstNic = FrameOffset::Host + kHostRecordBaseLength;
  static constexpr uint8_t kNoMac[6] = {};
  if (reply == nullptr || length < kFirstNic) return nullptr;
  const uint8_t* mac = reply + FrameOffset::AgentMac;
  if (std::memcmp(mac, kNoMac, sizeof kNoMac) == 0) return nullptr;
  const std::size_t count =
      std::min<std::size_t>(reply[kNicCountOffset], (length - kFirstNic) / kNicEntryLength);
  for (std::size_t i = 0; i < count; ++i) {
    const uint8_t* nic = reply + kFirstNic + i * kNicEntryLength;
    if (std::memcmp(nic, mac, 6) == 0) return nic;
  }
  return nullptr;
}

}  // namespace tavi
