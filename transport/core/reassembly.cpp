#include "transport/core/reassembly.h"

#include <algorithm>

namespace tavi {

static_assert(kMaxFragments <= 32, "received-fragment mask is 32 bits");

Reassembler::Reassembler(std::size_t maxPending, std::chrono::milliseconds maxAge)
    : maxPending_(std::max<std::size_t>(maxPending, 1)), maxAge_(maxAge) {}

void Reassembler::Expire(Clock::time_point now) {
  const auto before = pending_.size();
  pending_.erase(std::remove_if(pending_.begin(), pending_.end(),
                                [&](const Partial& p) { return now - p.started > maxAge_; }),
                 pending_.end());
  counts_.expired += before - pending_.size();
}

bool Reassembler::Add(const Fragment& fragment, Clock::time_point now, Message& out) {
  const std::size_t offset = static_cast<std::size_t>(fragment.index) * kFragmentPayload;
  if (fragment.count == 1) {
    out.version = fragment.version;
    out.destination = fragment.destination;
    out.source = fragment.source;
    out.flags = fragment.flags;
    out.transactionId = fragment.transactionId;
    out.bytes.assign(fragment.payload, fragment.payload + fragment.payloadLength);
    return true;
  }
  // ParseFragment has checked index, count and lengths; check again what the copy relies on.
  if (fragment.index >= fragment.count || fragment.count > kMaxFragments ||
      offset + fragment.payloadLength > fragment.messageLength) {
    ++counts_.inconsistentFragments;
    return false;
  }
  Expire(now);

  auto it = std::find_if(pending_.begin(), pending_.end(), [&](const Partial& p) {
    return p.transactionId == fragment.transactionId && p.source == fragment.source &&
           p.flags == fragment.flags && p.version == fragment.version;
  });
  if (it != pending_.end() &&
      (it->count != fragment.count || it->bytes.size() != fragment.messageLength)) {
    // A sender never changes a message's shape; start over with the newer fragment.
    ++counts_.inconsistentFragments;
    pending_.erase(it);
    it = pending_.end();
  }
  if (it == pending_.end()) {
    if (pending_.size() >= maxPending_) {
      auto oldest = std::min_element(
          pending_.begin(), pending_.end(),
          [](const Partial& a, const Partial& b) { return a.started < b.started; });
      pending_.erase(oldest);
      ++counts_.evicted;
    }
    Partial p;
    p.version = fragment.version;
    p.destination = fragment.destination;
    p.source = fragment.source;
    p.flags = fragment.flags;
    p.transactionId = fragment.transactionId;
    p.count = fragment.count;
    p.started = now;
    p.bytes.assign(fragment.messageLength, 0);
    pending_.push_back(std::move(p));
    it = pending_.end() - 1;
  }
  const uint32_t bit = 1u << fragment.index;
  if (it->received & bit) {
    ++counts_.duplicateFragments;
    return false;
  }
  std::copy(fragment.payload, fragment.payload + fragment.payloadLength,
            it->bytes.begin() + static_cast<std::ptrdiff_t>(offset));
  it->received |= bit;
  if (it->received != (1u << it->count) - 1u) return false;

  out.version = it->version;
  out.destination = it->destination;
  out.source = it->source;
  out.flags = it->flags;
  out.transactionId = it->transactionId;
  out.bytes = std::move(it->bytes);
  pending_.erase(it);
  return true;
}

}  // namespace tavi
