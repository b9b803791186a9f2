// Reassembles fragmented messages with bounded memory: at most `maxPending` incomplete
// messages of at most kMaxMessageLength bytes each; an incomplete one older than `maxAge`
// is dropped, and when the table is full the oldest makes room.
#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <vector>

#include "transport/core/envelope.h"

namespace tavi {

struct Message {
  uint8_t version = kEnvelopeVersion;
  Mac destination{};
  Mac source{};
  uint8_t flags = 0;
  uint32_t transactionId = 0;
  std::vector<uint8_t> bytes;
};

struct ReassemblyCounts {
  uint64_t duplicateFragments = 0;
  uint64_t inconsistentFragments = 0;  // same message id, different count or length
  uint64_t expired = 0;
  uint64_t evicted = 0;
};

class Reassembler {
 public:
  explicit Reassembler(std::size_t maxPending = 32,
                       std::chrono::milliseconds maxAge = std::chrono::milliseconds(2000));

  // True when `fragment` completes a message, which is then moved to `out`.
  bool Add(const Fragment& fragment, Clock::time_point now, Message& out);

  std::size_t pending() const { return pending_.size(); }
  const ReassemblyCounts& counts() const { return counts_; }

 private:
  struct Partial {
    uint8_t version = kEnvelopeVersion;
    Mac destination{};
    Mac source{};
    uint8_t flags = 0;
    uint32_t transactionId = 0;
    uint8_t count = 0;
    uint32_t received = 0;  // bit i = fragment i is in
    Clock::time_point started;
    std::vector<uint8_t> bytes;
  };

  void Expire(Clock::time_point now);

  std::size_t maxPending_;
  std::chrono::milliseconds maxAge_;
  std::vector<Partial> pending_;
  ReassemblyCounts counts_;
};

}  // namespace tavi
