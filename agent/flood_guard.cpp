#include "agent/flood_guard.h"

#include <cstring>

namespace {

bool SameMac(const uint8_t a[6], const uint8_t b[6]) { return std::memcmp(a, b, 6) == 0; }

bool Plain(const SourceEntry& e) { return !e.trusted && e.failures == 0; }

// The entry to reuse for a new source: a free one, else the least recently seen plain entry
// (so that invented MACs churn only each other), else the least recently seen untrusted one,
// else the least recently seen of all.
SourceEntry& EntryToReuse(FloodGuard& guard) {
  SourceEntry* best[3] = {nullptr, nullptr, nullptr};
  for (SourceEntry& e : guard.sources) {
    if (!e.inUse) return e;
    const int rank = Plain(e) ? 0 : (!e.trusted ? 1 : 2);
    if (best[rank] == nullptr || e.lastSeenMs < best[rank]->lastSeenMs) best[rank] = &e;
  }
  ++guard.counters.evictions;
  for (SourceEntry* e : best)
    if (e != nullptr) return *e;
  return guard.sources[0];  // not reached: the table is never empty here
}

SourceEntry* FindSource(FloodGuard& guard, const uint8_t mac[6]) {
  for (SourceEntry& e : guard.sources)
    if (e.inUse && SameMac(e.mac, mac)) return &e;
  return nullptr;
}

SourceEntry& Source(FloodGuard& guard, const uint8_t mac[6], uint64_t nowMs) {
  SourceEntry* found = FindSource(guard, mac);
  if (found == nullptr) {
    found = &EntryToReuse(guard);
    std::memset(found, 0, sizeof *found);
    std::memcpy(found->mac, mac, 6);
    found->inUse = 1;
    found->work = {kSourceWorkRule.burst, nowMs};
  }
  found->lastSeenMs = nowMs;
  return *found;
}

bool HasToken(TokenBucket& bucket, const BucketRule& rule, uint64_t nowMs) {
  RefillBucket(bucket, rule, nowMs);
  return bucket.tokens >= 1.0;
}

}  // namespace

void RefillBucket(TokenBucket& bucket, const BucketRule& rule, uint64_t nowMs) {
  if (nowMs > bucket.lastMs) {
    bucket.tokens += static_cast<double>(nowMs - bucket.lastMs) * rule.perSecond / 1000.0;
    if (bucket.tokens > rule.burst) bucket.tokens = rule.burst;
  }
  // A clock that went back (a seam, a wrapped counter) restarts the interval, never refills.
  bucket.lastMs = nowMs;
}

bool TakeToken(TokenBucket& bucket, const BucketRule& rule, uint64_t nowMs) {
  if (!HasToken(bucket, rule, nowMs)) return false;
  bucket.tokens -= 1.0;
  return true;
}

void InitFloodGuard(FloodGuard& guard, uint64_t nowMs) {
  std::memset(&guard, 0, sizeof guard);
  guard.work = {kAgentWorkRule.burst, nowMs};
  guard.signatures = {kAgentSignRule.burst, nowMs};
  guard.logons = {kAgentLogonRule.burst, nowMs};
  guard.failures = {kAgentFailureRule.burst, nowMs};
}

bool AdmitRequest(FloodGuard& guard, const uint8_t mac[6], WorkKind kind, uint64_t nowMs) {
  if (kind == WorkKind::Cheap) return true;
  SourceEntry& source = Source(guard, mac, nowMs);
  // The source's own bucket first: a source over its budget never touches the shared one.
  if (!TakeToken(source.work, kSourceWorkRule, nowMs)) {
    ++guard.counters.droppedBySource;
    return false;
  }
  if (!source.trusted) {
    const bool logon = kind == WorkKind::Logon;
    TokenBucket& shared = kind == WorkKind::Sign ? guard.signatures : guard.work;
    const BucketRule& rule = kind == WorkKind::Sign ? kAgentSignRule : kAgentWorkRule;
    if (!HasToken(shared, rule, nowMs) ||
        (logon && !HasToken(guard.logons, kAgentLogonRule, nowMs))) {
      ++guard.counters.droppedByAgent;
      return false;
    }
    shared.tokens -= 1.0;
    if (logon) guard.logons.tokens -= 1.0;
  }
  ++guard.counters.admitted;
  return true;
}

uint64_t BackOffMs(uint32_t failures) {
  if (failures < kFreeFailures) return 0;
  const uint32_t doublings = failures - kFreeFailures;
  if (doublings >= 20) return kLongestBackOffMs;
  const uint64_t backOff = kFirstBackOffMs << doublings;
  return backOff < kLongestBackOffMs ? backOff : kLongestBackOffMs;
}

bool AdmitCredentialCheck(FloodGuard& guard, const uint8_t mac[6], uint64_t nowMs) {
  SourceEntry& source = Source(guard, mac, nowMs);
  const bool blocked = nowMs < source.blockedUntilMs;
  const bool capped = !source.trusted && !HasToken(guard.failures, kAgentFailureRule, nowMs);
  if (blocked || capped) {
    ++guard.counters.checksRefused;
    return false;
  }
  return true;
}

void NoteCredentialCheck(FloodGuard& guard, const uint8_t mac[6], bool passed, uint64_t nowMs) {
  SourceEntry& source = Source(guard, mac, nowMs);
  if (passed) {
    source.failures = 0;
    source.blockedUntilMs = 0;
    source.trusted = 1;
    return;
  }
  TakeToken(guard.failures, kAgentFailureRule, nowMs);
  if (source.failures < UINT32_MAX) ++source.failures;
  const uint64_t backOff = BackOffMs(source.failures);
  source.blockedUntilMs = backOff == 0 ? 0 : nowMs + backOff;
}
