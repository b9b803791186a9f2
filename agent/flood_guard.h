// Limits on the work that stations on the segment can make the agent do. Every frame may come
// from an attacker with any source MAC, so the limits hold per source and for all sources
// together:
// - expensive requests (collection, registry write, anything that logs on) take a token from
//   the source's bucket and from the agent's; a request without both tokens is dropped
//   unanswered, so one flooding source cannot spend the budget of the others;
// - credential checks after repeated failures from one source are refused for a growing
//   back-off, and failed checks of all sources together are capped per minute, so rotating
//   invented MACs does not lift the limit.
// Sources that passed a credential check are "trusted": they bypass the shared budgets (still
// bound by their own bucket and back-off) so a flood of invented MACs cannot lock out a
// console that already proved its administrator.
// Per-source state is a fixed table; a new source evicts the least recently seen plain entry.
// Portable and clock-free: callers pass the time in milliseconds of a monotonic clock.
#pragma once

#include <cstddef>
#include <cstdint>

struct TokenBucket {
  double tokens;
  uint64_t lastMs;
};

struct BucketRule {
  double perSecond;
  double burst;
};

// Per source: a console serves one administrator's clicks, a burst of 10 covers a discovery
// followed by an Apply and its retries; 2 per second sustained is far above human speed.
constexpr BucketRule kSourceWorkRule = {2.0, 10.0};
// All sources: a collection reads the adapter list, the interface table and registry values,
// and a Discover writes one; 10 per second keeps the agent's share of a core small.
constexpr BucketRule kAgentWorkRule = {10.0, 20.0};
// All sources, replies that cost only their signature (Poll): far above what consoles poll
// (one every 2 s per host waited for), and a small share of a core at a signature each.
constexpr BucketRule kAgentSignRule = {50.0, 50.0};
// All sources, requests that log on: a network logon reaches the security subsystem and the
// security log; a few per second is all a room of consoles ever needs.
constexpr BucketRule kAgentLogonRule = {3.0, 6.0};
// All sources, failed credential checks: 6 per minute (burst 6). Typing errors of a few
// administrators fit; guessing runs at 8640 a day instead of logon speed.
constexpr BucketRule kAgentFailureRule = {0.1, 6.0};

// Failed checks from one source before the back-off starts; then 1 s, doubling with each
// further failure, at most 15 minutes. A success clears it.
constexpr uint32_t kFreeFailures = 3;
constexpr uint64_t kFirstBackOffMs = 1000;
constexpr uint64_t kLongestBackOffMs = 15ull * 60 * 1000;

constexpr std::size_t kGuardSources = 64;

struct SourceEntry {
  uint8_t mac[6];
  uint8_t inUse;
  uint8_t trusted;  // passed a credential check since it entered the table
  uint64_t lastSeenMs;
  TokenBucket work;
  uint32_t failures;  // consecutive failed credential checks
  uint64_t blockedUntilMs;
};

struct FloodGuardCounters {
  uint64_t admitted;
  uint64_t droppedBySource;
  uint64_t droppedByAgent;
  uint64_t checksRefused;
  uint64_t evictions;
};

struct FloodGuard {
  SourceEntry sources[kGuardSources];
  TokenBucket work;
  TokenBucket signatures;
  TokenBucket logons;
  TokenBucket failures;
  FloodGuardCounters counters;
};

enum class WorkKind {
  Cheap,    // codes that get no reply: nothing is charged
  Sign,     // Poll: no work but the reply's signature
  Collect,  // host record, setup state, registry write
  Logon,    // a credential check as well
};

// Refills by the time passed since the last call (never above the burst).
void RefillBucket(TokenBucket& bucket, const BucketRule& rule, uint64_t nowMs);
// Refills, then takes one token when there is one.
bool TakeToken(TokenBucket& bucket, const BucketRule& rule, uint64_t nowMs);

// Empty table, every bucket full.
void InitFloodGuard(FloodGuard& guard, uint64_t nowMs);

// Whether a request of that kind from `mac` is served now; false: drop it without a reply.
bool AdmitRequest(FloodGuard& guard, const uint8_t mac[6], WorkKind kind, uint64_t nowMs);

// Whether a credential check from `mac` may call the logon now; false: refuse it (BadLogon).
bool AdmitCredentialCheck(FloodGuard& guard, const uint8_t mac[6], uint64_t nowMs);
// The outcome of a check that AdmitCredentialCheck let through.
void NoteCredentialCheck(FloodGuard& guard, const uint8_t mac[6], bool passed, uint64_t nowMs);

// The back-off after `failures` consecutive failed checks; 0 below the free ones.
uint64_t BackOffMs(uint32_t failures);
