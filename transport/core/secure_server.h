// The agent side of the authenticated channel (secure_envelope.h): answers hellos with a
// signed ephemeral key and a single-use freshness value, opens signed and sealed requests,
// and seals or signs the replies. Refuses every request in the clear envelope and the codes
// that carry credentials in any form but sealed.
//
// Freshness values are spent on the first request that opens with them and live at most
// `lifetime`; the table is bounded per console MAC and in total (the oldest entry makes
// room), and hellos are rate-limited, because each costs a signature.
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
  std::atomic<uint64_t> hellosLimited{0};     // over the rate limit
  std::atomic<uint64_t> unknownFreshness{0};  // spent, expired, never issued, other console
  std::atomic<uint64_t> badTag{0};            // altered or forged sealed request
  std::atomic<uint64_t> freshnessEvicted{0};  // pushed out by newer hellos
};

// How the reply to one opened request leaves: signed over the request's digest, or sealed
// with the agent-to-console key of its exchange.
struct ReplySeal {
  SecureKind kind = SecureKind::Signed;
  crypto::Digest request{};
  crypto::Key key{};
  void Wipe() { crypto::Wipe(key); }
};

class SecureServer {
 public:
  struct Limits {
    std::size_t perConsole = 4;
    std::size_t total = 256;
    std::chrono::seconds lifetime{30};
    int hellosPerSecond = 100;  // also the burst
  };

  explicit SecureServer(const Identity& identity);
  SecureServer(const Identity& identity, Limits limits);
  ~SecureServer();
  SecureServer(const SecureServer&) = delete;
  SecureServer& operator=(const SecureServer&) = delete;

  // Test seam: the time that ages freshness values and refills the hello budget.
  void SetClock(std::function<Clock::time_point()> clock);

  // A Hello (kind checked by the caller) heard on the adapter `agent`: the reply message,
  // or false when refused (malformed, over the rate, no randomness).
  bool AnswerHello(const Message& hello, const Mac& agent, std::vector<uint8_t>& reply);
  // A Signed or Sealed request: its inner request bytes and how its reply must leave.
  // False (counted) for anything that must not reach the agent.
  bool Open(const Message& message, const Mac& agent, std::vector<uint8_t>& request,
            ReplySeal& seal);
  // The reply message for `seal`, and its envelope flags.
  bool Seal(const ReplySeal& seal, uint32_t transactionId, const Mac& console, const Mac& agent,
            const uint8_t* reply, std::size_t length, std::vector<uint8_t>& out, uint8_t& flags);

  const crypto::Key& PublicKey() const { return identity_.publicKey; }
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
  };
  void Expire(Clock::time_point now);
  void Erase(std::size_t index);

  Identity identity_;
  Limits limits_;
  std::function<Clock::time_point()> clock_;
  std::mutex mutex_;
  std::vector<Fresh> table_;
  double helloBudget_;
  Clock::time_point budgetTime_{};
  SecureServerCounters counters_;
};

}  // namespace tavi
