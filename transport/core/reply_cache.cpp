#include "transport/core/reply_cache.h"

#include <algorithm>

namespace tavi {

ReplyCache::ReplyCache(std::size_t capacity, std::chrono::seconds maxAge)
    : capacity_(std::max<std::size_t>(capacity, 1)), maxAge_(maxAge) {}

const CachedReply* ReplyCache::Find(const Mac& console, uint32_t transactionId,
                                    Clock::time_point now) {
  for (auto& entry : entries_) {
    if (entry.console == console && entry.transactionId == transactionId) {
      if (now - entry.lastUse > maxAge_) return nullptr;
      entry.lastUse = now;
      return &entry;
    }
  }
  return nullptr;
}

void ReplyCache::Store(CachedReply reply, Clock::time_point now) {
  reply.lastUse = now;
  entries_.erase(std::remove_if(entries_.begin(), entries_.end(),
                                [&](const CachedReply& e) {
                                  return (e.console == reply.console &&
                                          e.transactionId == reply.transactionId) ||
                                         now - e.lastUse > maxAge_;
                                }),
                 entries_.end());
  if (entries_.size() >= capacity_) {
    auto oldest = std::min_element(
        entries_.begin(), entries_.end(),
        [](const CachedReply& a, const CachedReply& b) { return a.lastUse < b.lastUse; });
    entries_.erase(oldest);
  }
  entries_.push_back(std::move(reply));
}

}  // namespace tavi
