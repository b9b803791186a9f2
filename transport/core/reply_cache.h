// The agent side's memory of the replies it sent, keyed by console MAC and transaction id,
// so that a retransmitted request is answered with the same reply instead of running twice.
//
// Bounded in entries, in entries per console and in age. Any station may send with any
// source address, so the room is shared out so that a flood from other (or invented)
// sources cannot push out a console's entries while that console may still retransmit:
// - a console holds at most `perConsole` entries; its own oldest makes room for its next;
// - an entry used within `protectFor` (stored, or found by a retransmission) is never
//   pushed out by another console's reply; when the cache is full of such entries, the
//   new reply is not cached (Store returns false) rather than evicting one.
#pragma once

#include <array>
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <map>
#include <utility>
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
  // A reply is at most 2048 bytes in two frames: 1024 entries hold at most about 2.3 MB.
  static constexpr std::size_t kCapacity = 1024;
  // A console talks to one agent through one request, one poll and its refresh, and a
  // discovery at a time; 8 leave room for their retransmissions.
  static constexpr std::size_t kPerConsole = 8;
  // A console retransmits at most 4 s after its previous send, and each retransmission
  // renews the entry; 30 s leave room for a slow agent and a stalled console.
  static constexpr std::chrono::seconds kProtectFor{30};
  // A console retransmits for at most its set time-out (600 s at most).
  static constexpr std::chrono::seconds kMaxAge{660};

  explicit ReplyCache(std::size_t capacity = kCapacity, std::size_t perConsole = kPerConsole,
                      std::chrono::seconds protectFor = kProtectFor,
                      std::chrono::seconds maxAge = kMaxAge);

  // The entry for this request, renewed; null when none.
  const CachedReply* Find(const Mac& console, uint32_t transactionId, Clock::time_point now);
  // False when the cache had no room that it may give to this console.
  bool Store(CachedReply reply, Clock::time_point now);
  void Clear() {
    entries_.clear();
    perConsole_.clear();
  }
  std::size_t size() const { return entries_.size(); }
  std::size_t EntriesOf(const Mac& console) const;

 private:
  using Key = std::pair<Mac, uint32_t>;
  using Entries = std::map<Key, CachedReply>;

  void Erase(Entries::iterator it);
  // The least recently used entry that `pick` accepts; end() when none.
  template <typename Pick>
  Entries::iterator Oldest(Pick pick);

  std::size_t capacity_;
  std::size_t perConsoleLimit_;
  std::chrono::seconds protectFor_;
  std::chrono::seconds maxAge_;
  Entries entries_;
  std::map<Mac, std::size_t> perConsole_;
};

}  // namespace tavi
