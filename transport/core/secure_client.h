// The console side of the authenticated channel (secure_envelope.h) over a ClientCore: the
// exchanges. What a key means is decided by trust_policy.h, from the trust store and the
// keys seen (seen_keys.h).
//
// Discover, Poll and Refresh go out readable with a fresh nonce; a reply counts only when
// its signature verifies over that nonce and its key is acceptable for the MAC it came
// from. The credential-carrying codes run two round trips: a hello that returns the agent's
// signed ephemeral key and freshness value, then the request sealed under keys derived
// from both ephemerals. Before anything is sealed the agent's key is checked against the
// trust store: a changed key refuses (HostKeyChanged); an unknown key is pinned silently,
// or refused (HostKeyNotTrusted) when the program decides trust itself (prompting); a
// store that cannot be read refuses every one (TrustStoreUnreadable).
#pragma once

#include <atomic>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "transport/core/client_core.h"
#include "transport/core/reply_verifier.h"
#include "transport/core/secure_envelope.h"
#include "transport/core/seen_keys.h"
#include "transport/core/trust_policy.h"
#include "transport/core/trust_store.h"

namespace tavi {

enum class TrustResult { Pinned, NoKeySeen, ChangedSinceShown, StoreUnreadable, NotWritten };

struct SecureClientCounters {
  std::atomic<uint64_t> unverified{0};  // malformed, wrong kind or bad signature
  std::atomic<uint64_t> impostors{0};   // verifies, but not with the key this MAC must have
  std::atomic<uint64_t> badTag{0};      // sealed reply altered or forged
  std::atomic<uint64_t> refused{0};     // authenticated request stopped by the trust check
  std::atomic<uint64_t> sealedSent{0};  // sealed requests that went out (first sends)
  // Discovery replies dropped before their signature was checked: their lane was full, a
  // reply of that MAC with its pinned key was already waiting, or the discovery ended first.
  std::atomic<uint64_t> unchecked{0};
  // Pinned hosts missing at the end of a discovery and asked once more by a unicast Refresh.
  std::atomic<uint64_t> missingRefreshes{0};
  // Signatures of signed replies (Discover, Poll, Refresh) checked, and the thread CPU time
  // spent on them in microseconds (for benchmarks).
  std::atomic<uint64_t> verifications{0};
  std::atomic<uint64_t> verifyMicros{0};
};

class SecureClient {
 public:
  static constexpr std::chrono::milliseconds kLateChecks{100};
  // A pinned host missing at the end of a discovery gets one unicast Refresh (with one
  // retransmission) in this time; at most this many hosts are asked, all at once.
  static constexpr std::chrono::milliseconds kMissingWindow{1000};
  static constexpr std::size_t kMissingRefreshes = 64;

  // Keys seen and the trust decision outlive any one ClientCore (the library makes a new
  // core when the console reinitialises its transport).
  explicit SecureClient(std::shared_ptr<TrustStore> store);

  void SetPrompting(bool prompting) { prompting_ = prompting; }
  // Workers that check one discovery's signatures; 0 (default): one per hardware thread, 1
  // to ReplyVerifier::kMaxWorkers.
  void SetVerifyWorkers(std::size_t workers) { verifyWorkers_ = workers; }

  // As ClientCore::Discover; the message handed on holds the reply itself (verified).
  // Signatures are checked by a few workers started for this discovery and ended before it
  // returns (reply_verifier.h): replies with the key pinned for their MAC first, one per MAC
  // at a time, the rest in a lane of their own; onReply runs on the calling thread only. At
  // the end of the window replies still being checked get kLateChecks more, then are dropped
  // (counted as unchecked); a cancelled discovery drops them at once. Pinned hosts that
  // answered in some form but were not listed, and pinned hosts seen before with their
  // pinned key, are then asked by a unicast Refresh (kMissingWindow), and listed if they
  // answer with their pinned key.
  Outcome Discover(ClientCore& core, std::size_t adapter, const uint8_t* request, std::size_t length,
                   ExchangeTiming timing, const std::function<void(const Message&)>& onReply,
                   uint64_t workId = 0, std::size_t maxHosts = ClientCore::kMaxDiscoveredHosts);

  struct Result {
    Outcome outcome = Outcome::TimedOut;
    uint16_t refusal = 0;  // a Status:: refusal of the trust check: nothing secret was sent
  };
  // Any other code, readable and signed or sealed as RequestFactsOf says; the reply is the
  // plain reply.
  Result Exchange(ClientCore& core, std::size_t adapter, const Mac& destination, const uint8_t* request,
                  std::size_t length, ExchangeTiming timing, std::vector<uint8_t>& reply,
                  uint64_t workId = 0);

  // Rereads the store first (another program may have pinned, or the user mended it):
  // Unreadable when it cannot be read, `fingerprint` still telling the key seen.
  KeyState HostKey(const Mac& agent, std::string* fingerprint, std::string* pinnedFingerprint);
  // Pins the key whose fingerprint (as HostKey gave it) was shown to the user, and only that
  // one: ChangedSinceShown when the key last verified from `agent` is another one now.
  TrustResult Trust(const Mac& agent, const std::string& hostName, const std::string& shownFingerprint);
  // Pins the key last verified from `agent`, whatever was shown (the original export's
  // meaning); true when pinned.
  bool Trust(const Mac& agent, const std::string& hostName);
  // Why the store cannot be read (the line of a bad line); empty when it can.
  std::string TrustStoreProblem() { return store_->problem(); }

  const SecureClientCounters& counters() const { return counters_; }
  // Replies the last discovery of this client could not check (the segment was flooded).
  uint64_t LastUnchecked() const { return lastUnchecked_; }

  // The key and name last verified per agent MAC are kept for at most this many MACs (a
  // flood of invented ones cannot grow them without bound); past it the least recently
  // seen half goes. The default keeps every host a console lists and the same again.
  static constexpr std::size_t kSeenLimit = 2 * ClientCore::kMaxDiscoveredHosts;
  void SetSeenLimit(std::size_t limit) { seen_.SetLimit(limit); }
  std::size_t SeenCount() { return seen_.Count(); }

 private:
  // A signed reply in the expected form (else counted), not yet verified.
  bool ParseSigned(const Message& m, SignedReply& out);
  bool SignatureValid(const Message& m, const crypto::Digest& request, const SignedReply& r);
  // A verified signed reply to the request of that digest, or nothing (counted).
  bool VerifySigned(const Message& m, const crypto::Digest& request, SignedReply& out);
  // MACs remembered with the key pinned for them.
  std::vector<Mac> PinnedSeen();
  // One Refresh to each of `missing` at once; the verified replies, as plain replies.
  std::vector<Message> RefreshMissing(ClientCore& core, std::size_t adapter,
                                      const uint8_t* request, std::size_t length,
                                      const std::vector<Mac>& missing);
  std::optional<crypto::Key> Pinned(const Mac& agent);
  KnownKeys Known(const Mac& agent);
  Result Sealed(ClientCore& core, std::size_t adapter, const Mac& destination, const uint8_t* request,
                std::size_t length, ExchangeTiming timing, std::vector<uint8_t>& reply,
                uint64_t workId);

  std::shared_ptr<TrustStore> store_;
  std::atomic<bool> prompting_{false};
  std::atomic<std::size_t> verifyWorkers_{0};
  SeenKeys seen_{kSeenLimit};
  SecureClientCounters counters_;
  std::atomic<uint64_t> lastUnchecked_{0};
};

}  // namespace tavi
