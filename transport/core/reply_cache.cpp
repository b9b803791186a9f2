#include "transport/core/reply_cache.h"

#include <algorithm>

namespace tavi {

ReplyCache::ReplyCache(std::size_t capacity, std::size_t perConsole,
                       std::chrono::seconds protectFor, std::chrono::seconds maxAge)
    : capacity_(std::max<std::size_t>(capacity, 1)),
      perConsoleLimit_(std::max<std::size_t>(perConsole, 1)),
      protectFor_(protectFor),
      maxAge_(maxAge) {}

std::size_t ReplyCache::EntriesOf(const Mac& console) const {
  auto it = perConsole_.find(console);
  return it == perConsole_.end() ? 0 : it->second;
}

void ReplyCache::Erase(Entries::iterator it) {
  auto count = perConsole_.find(it->first.first);
  if (count != perConsole_.end() && --count->second == 0) perConsole_.erase(count);
  entries_.erase(it);
}

template <typename Pick>
ReplyCache::Entries::iterator ReplyCache::Oldest(Pick pick) {
  auto oldest = entries_.end();
  for (auto it = entries_.begin(); it != entries_.end(); ++it)
    if (pick(it->second) && (oldest == entries_.end() || it->second.lastUse < oldest->second.lastUse))
      oldest = it;
  return oldest;
}

const CachedReply* ReplyCache::Find(const Mac& console, uint32_t transactionId,
                                    Clock::time_point now) {
  auto it = entries_.find({console, transactionId});
  if (it == entries_.end()) return nullptr;
  if (now - it->second.lastUse > maxAge_) {
    Erase(it);
    return nullptr;
  }
  it->second.lastUse = now;
  return &it->second;
}

bool ReplyCache::Store(CachedReply reply, Clock::time_point now) {
  reply.lastUse = now;
  const Mac console = reply.console;
  auto same = entries_.find({console, reply.transactionId});
  if (same != entries_.end()) Erase(same);
  for (auto it = entries_.begin(); it != entries_.end();) {
    auto next = std::next(it);
    if (now - it->second.lastUse > maxAge_) Erase(it);
    it = next;
  }
  // A console's own oldest entry makes room for its next one.
  if (EntriesOf(console) >= perConsoleLimit_) {
    Erase(Oldest([&](const CachedReply& e) { return e.console == console; }));
  }
  if (entries_.size() >= capacity_) {
    // Another console's entry goes only when it has not been used for a while.
    auto victim = Oldest([&](const CachedReply& e) {
      return e.console == console || now - e.lastUse > protectFor_;
    });
    if (victim == entries_.end()) return false;
    Erase(victim);
  }
  ++perConsole_[console];
  entries_.emplace(Key{console, reply.transactionId}, std::move(reply));
  return true;
}

}  // namespace tavi
