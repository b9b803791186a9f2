// The agent side of the authenticated channel (secure_envelope.h): answers hellos with a
// signed ephemeral key and a single-use freshness value, opens signed and sealed requests,
// and seals or signs the replies. Refuses every request in the clear envelope and the codes
// that carry credentials in any form but sealed.
//
// Freshness values are spent on the first request that opens with them and live at most
// `lifetime`; the table is bounded per console MAC and in total (the oldest entry makes
// room). Hellos cost a signature: they are limited per source and for all sources together,
// with a share of the global budget kept for consoles that passed a credential check lately
// (NoteTrustedConsole), so a flood from invented MACs cannot shut a proven console out. A
// freshness value lets at most `ephemeralsPerFreshness` distinct console ephemerals cost a
// key agreement (a retransmission is byte-identical and reuses the keys derived for it), and
// the agreement runs outside the table's lock.
#pragma once

#include <atomic>
#include <chrono>
#include <cstdint>
#include <functional>
#include <mutex>
#include <vector>

#include "transport/core/identity.h"
#include "transport/core/reassembly.h"
#include "transport/core/secure_envelope.h"

namespace tavi {

struct SecureServerCounters {
  std::atomic<uint64_t> refusedClear{0};      // clear envelope, or credentials not sealed
  std::atomic<uint64_t> malformed{0};         // lengths or kind wrong
  std::atomic<uint64_t> hellos{0};            // answered
  std::atomic<uint64_t> hellosLimited{0};     // over the rate limit (global or per source)
  std::atomic<uint64_t> ephemeralsRefused{0};  // over a freshness value's ephemeral budget
  std::atomic<uint64_t> unknownFreshness{0};  // spent, expired, never issued, other console
  std::atomic<uint64_t> badTag{0};            // altered or forged sealed request
  std::atomic<uint64_t> freshnessEvicted{0};  // pushed out by newer hellos
};

// How the reply to one opened request leaves: signed over the request's digest, or sealed
// with the agent-to-console key of its exchange. One reply per request: Seal spends it (the
// key wiped), and a spent one seals nothing.
struct ReplySeal {
  SecureKind kind = SecureKind::Signed;
  crypto::Digest request{};
  crypto::Key key{};
  bool spent = false;
  void Wipe() {
    crypto::Wipe(key);
    spent = true;
  }
};

class SecureServer {
 public:
  struct Limits {
    std::size_t perConsole = 4;
    std::size_t total = 256;
    std::chrono::seconds lifetime{30};
    int hellosPerSecond = 100;  // all sources; also the burst
    int hellosPerSource = 10;   // one console MAC, per second; also the burst
    int trustedHellosPerSecond = 20;  // kept for consoles that passed a check lately
    std::chrono::seconds trustedFor{600};
    std::size_t ephemeralsPerFreshness = 3;
  };
  static constexpr std::size_t kHelloSources = 64;   // per-source hello buckets kept
  static constexpr std::size_t kTrustedConsoles = 16;

  explicit SecureServer(const Identity& identity);
  SecureServer(const Identity& identity, Limits limits);
  ~SecureServer();
  SecureServer(const SecureServer&) = delete;
  SecureServer& operator=(const SecureServer&) = delete;

  // Test seam: the time that ages freshness values and refills the hello budget.
  void SetClock(std::function<Clock::time_point()> clock);

  // The agent's word that `console` passed a credential check: its hellos draw on the share
  // kept for proven consoles for `trustedFor`.
  void NoteTrustedConsole(const Mac& console);

  // A Hello (kind checked by the caller) heard on the adapter `agent`: the reply message,
  // or false when refused (malformed, over the rate, no randomness).
  bool AnswerHello(const Message& hello, const Mac& agent, std::vector<uint8_t>& reply);
  // A Signed or Sealed request: its inner request bytes and how its reply must leave.
  // False (counted) for anything that must not reach the agent.
  bool Open(const Message& message, const Mac& agent, std::vector<uint8_t>& request,
            ReplySeal& seal);
  // The reply message for `seal`, and its envelope flags; spends `seal` (false when it was).
  bool Seal(ReplySeal& seal, uint32_t transactionId, const Mac& console, const Mac& agent,
            const uint8_t* reply, std::size_t length, std::vector<uint8_t>& out, uint8_t& flags);

  std::size_t Outstanding();
  const SecureServerCounters& counters() const { return counters_; }
  SecureServerCounters& counters() { return counters_; }

 private:
  struct Fresh {
    Mac console{};
    Mac agent{};
    crypto::Digest hello{};  // RequestDigest of the hello answered
    Nonce freshness{};
    crypto::Key ephemeralPrivate{};
    crypto::Key ephemeralPublic{};
    Clock::time_point issued;
    uint64_t serial = 0;  // tells a reissued slot from the one a lookup found
    // Console ephemerals this value was tried with, and the keys derived for each.
    std::vector<std::pair<crypto::Key, ChannelKeys>> derived;
  };
  struct Bucket {
    Mac source{};
    double tokens = 0;
    Clock::time_point at{};
  };
  void Expire(Clock::time_point now);
  void Erase(std::size_t index);
  bool TakeHello(const Mac& source, Clock::time_point now);  // mutex_ held
  static bool Take(double& tokens, Clock::time_point& at, double rate, Clock::time_point now);

  Identity identity_;
  Limits limits_;
  std::function<Clock::time_point()> clock_;
  std::mutex mutex_;
  std::vector<Fresh> table_;
  uint64_t serials_ = 0;
  double helloBudget_;
  Clock::time_point budgetTime_{};
  double trustedBudget_;
  Clock::time_point trustedTime_{};
  std::vector<Bucket> sources_;                                 // least recently used first
  std::vector<std::pair<Mac, Clock::time_point>> trusted_;     // when each passed a check
  SecureServerCounters counters_;
};

}  // namespace tavi
