// The agent side's memory of the replies it sent, keyed by console MAC and transaction id,
// so that a retransmitted request is answered with the same reply instead of running twice.
// Bounded in entries and age; the least recently used entry makes room.
#pragma once

#include <array>
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <vector>

#include "transport/core/wire.h"

namespace tavi {

struct CachedReply {
  Mac console{};
  uint32_t transactionId = 0;
  std::size_t slot = 0;  // adapter the reply left through
  std::array<uint8_t, 24> requestHeader{};  // tells a reused id from a retransmission
  std::vector<std::vector<uint8_t>> frames;
  Clock::time_point lastUse;
};

class ReplyCache {
 public:
  // A console retransmits for at most its set time-out (600 s at most).
  explicit ReplyCache(std::size_t capacity = 256,
                      std::chrono::seconds maxAge = std::chrono::seconds(660));

  // The entry for this request, refreshed; null when none.
  const CachedReply* Find(const Mac& console, uint32_t transactionId, Clock::time_point now);
  void Store(CachedReply reply, Clock::time_point now);
  void Clear() { entries_.clear(); }
  std::size_t size() const { return entries_.size(); }

 private:
  std::size_t capacity_;
  std::chrono::seconds maxAge_;
  std::vector<CachedReply> entries_;
};

}  // namespace tavi
