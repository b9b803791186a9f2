// Why received frames were dropped: kept per side, read by tests and benchmarks.
#pragma once

#include <atomic>
#include <cstdint>

#include "transport/core/envelope.h"

namespace tavi {

struct DropCounters {
  std::atomic<uint64_t> foreignType{0};
  std::atomic<uint64_t> truncated{0};
  std::atomic<uint64_t> badVersion{0};
  std::atomic<uint64_t> malformed{0};
  std::atomic<uint64_t> groupSource{0};   // source MAC with the group bit set
  std::atomic<uint64_t> notForUs{0};      // wrong destination or wrong direction
  std::atomic<uint64_t> unmatched{0};     // complete, but nobody waits for it
  std::atomic<uint64_t> wrongSource{0};   // a reply from a station the request did not go to
  std::atomic<uint64_t> duplicates{0};    // retransmissions and copies already handled
  std::atomic<uint64_t> overflow{0};      // queue full

  // Counts a parse failure; true when the verdict was Accepted.
  bool Count(FrameVerdict verdict) {
    switch (verdict) {
      case FrameVerdict::Accepted: return true;
      case FrameVerdict::ForeignType: ++foreignType; break;
      case FrameVerdict::Truncated: ++truncated; break;
      case FrameVerdict::BadVersion: ++badVersion; break;
      case FrameVerdict::Malformed: ++malformed; break;
      case FrameVerdict::GroupSource: ++groupSource; break;
    }
    return false;
  }
};

}  // namespace tavi
