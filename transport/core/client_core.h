// The console side of the transport over any set of links, one per console adapter.
//
// A request is sent, retransmitted on silence and matched to its reply by transaction id
// and, for a unicast request, by the reply's source, which must be the station the request
// went to; replies are routed from the links' threads to the waiting caller, so any number
// of exchanges (a request and several polls) can run at once on one adapter. Every new
// request gets a fresh, unpredictable transaction id, which also goes into the frame's
// reserved header bytes, so that the agent's repeated-header check drops retransmissions
// only. A discovery lists at most kMaxDiscoveredHosts agent adapters.
#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <unordered_map>
#include <vector>

#include "transport/core/counters.h"
#include "transport/core/link.h"
#include "transport/core/reassembly.h"

namespace tavi {

struct ClientCounters {
  DropCounters drops;
  std::atomic<uint64_t> requests{0};
  std::atomic<uint64_t> retransmissions{0};
  std::atomic<uint64_t> sendFailures{0};
  std::atomic<uint64_t> replies{0};
  std::atomic<uint64_t> randomFailures{0};   // no transaction id: the request was not sent
};

struct ExchangeTiming {
  std::chrono::milliseconds window{30000};  // total time for the exchange
  int retries = 3;                          // retransmissions on silence within it
};

enum class Outcome {
  Replied,
  TimedOut,
  Cancelled,
  AdapterUnusable,
  HostLimit,  // a discovery reached its host limit and stopped listing
};

class ClientCore {
 public:
  // The shortest time an exchange waits, whatever its window says.
  static constexpr std::chrono::milliseconds kMinimumWindow{250};
  // Pause before the first retransmission; it doubles after each, up to kLongestRetry.
  static constexpr std::chrono::milliseconds kFirstRetry{1000};
  static constexpr std::chrono::milliseconds kLongestRetry{4000};
  // Agent adapters one discovery lists: beyond it a flood of invented sources would only
  // cost memory and time.
  static constexpr std::size_t kMaxDiscoveredHosts = 4096;

  // When each send of a unicast exchange goes out, as offsets from its start.
  static std::vector<std::chrono::milliseconds> RetrySchedule(std::chrono::milliseconds window,
                                                              int retries);

  // One link per console adapter; a null entry is an adapter that could not be opened.
  explicit ClientCore(std::vector<std::unique_ptr<Link>> adapters);
  ~ClientCore();
  ClientCore(const ClientCore&) = delete;
  ClientCore& operator=(const ClientCore&) = delete;

  std::size_t AdapterCount() const { return adapters_.size(); }
  bool AdapterUsable(std::size_t adapter) const;

  // Sends `request` (header included, at least 24 bytes) to one agent adapter and waits for
  // its reply, which is stored whole in `reply`.
  Outcome Exchange(std::size_t adapter, const Mac& destination, const uint8_t* request,
                   std::size_t length, ExchangeTiming timing, std::vector<uint8_t>& reply,
                   uint64_t workId = 0);
  // Broadcasts `request` and calls onReply on this thread for the first reply of every agent
  // adapter, in arrival order, until the window ends. The broadcast is repeated (same id,
  // so agents that answered repeat their reply) up to timing.retries times, a second apart,
  // while a second of the window remains. After maxHosts adapters (at most
  // kMaxDiscoveredHosts) it stops at once with HostLimit; with maxHosts 0 it sends nothing.
  Outcome Discover(std::size_t adapter, const uint8_t* request, std::size_t length,
                   ExchangeTiming timing, const std::function<void(const Message&)>& onReply,
                   uint64_t workId = 0, std::size_t maxHosts = kMaxDiscoveredHosts);

  // What goes out for one exchange, made once its transaction id is known (the channel
  // binds the id into signatures and associated data).
  struct Outgoing {
    uint8_t version = kEnvelopeVersion;
    uint8_t flags = 0;
    std::vector<uint8_t> bytes;
  };
  using Builder = std::function<bool(uint32_t transactionId, Outgoing& out)>;
  enum class Mode { Unicast, Broadcast };
  // The general exchange under Exchange and Discover: sends what `build` makes (retransmitted
  // unchanged) and hands every reply with its id to onReply until that returns true. A
  // builder that fails ends the exchange as TimedOut before anything is sent.
  // `onWake`, if given, runs on this thread after Wake(transactionId) from any thread (work
  // finished elsewhere that the caller has to take in); true from it ends the exchange too.
  Outcome Run(Mode mode, std::size_t adapter, const Mac& destination, const Builder& build,
              ExchangeTiming timing, const std::function<bool(Message&)>& onReply,
              uint64_t workId = 0, const std::function<bool()>& onWake = nullptr);
  // Wakes the exchange with this id to run its onWake; an unknown or ended id is ignored.
  void Wake(uint32_t transactionId);
  Mac AdapterMac(std::size_t adapter) const;

  // Work ids name running exchanges for Cancel; an unknown or ended id is ignored.
  uint64_t NewWorkId() { return ++lastWorkId_; }
  void Cancel(uint64_t workId);
  // Ends every running exchange and releases the adapters.
  void Shutdown();

  const ClientCounters& counters() const { return counters_; }

 private:
  struct Adapter {
    std::size_t index = 0;
    Mac mac{};
    std::unique_ptr<Link> link;
    Reassembler reassembler;
  };
  struct Waiter {
    std::size_t adapter = 0;
    Mac destination{};  // a unicast reply must come from here
    bool broadcast = false;
    uint64_t workId = 0;
    std::condition_variable wake;
    std::deque<Message> replies;
    bool cancelled = false;
    bool woken = false;
  };
  Builder ClearBuilder(const uint8_t* request, std::size_t length);
  void OnFrame(Adapter& adapter, const uint8_t* frame, std::size_t length);
  // A random id no running exchange uses; 0 when the system's generator failed.
  uint32_t NewTransactionId();

  std::vector<std::unique_ptr<Adapter>> adapters_;
  std::mutex mutex_;
  std::unordered_map<uint32_t, std::shared_ptr<Waiter>> waiters_;
  bool shutdown_ = false;
  std::atomic<uint64_t> lastWorkId_{0};
  ClientCounters counters_;
};

}  // namespace tavi
