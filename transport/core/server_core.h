// The agent side of the transport over any set of links, one per adapter slot.
//
// Requests are queued from the links' threads and handed out one at a time by Receive; Send
// answers the request last handed out. Each (console MAC, transaction id) runs at most once:
// a copy that arrives while the request is queued or being served is dropped, and a
// retransmission after the reply is answered from the reply cache through the adapter that
// answered first. Copies of one broadcast heard on the host's other adapters get nothing.
// A console MAC may hold only a few places in the queue and in the reply cache, so other
// sources, invented or not, cannot crowd out a console that is talking to the agent.
#pragma once

#include <array>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <shared_mutex>
#include <vector>

#include "protocol/frames.h"
#include "transport/core/counters.h"
#include "transport/core/link.h"
#include "transport/core/reassembly.h"
#include "transport/core/reply_cache.h"
#include "transport/core/secure_server.h"

namespace tavi {

struct ServerCounters {
  DropCounters drops;
  std::atomic<uint64_t> delivered{0};
  std::atomic<uint64_t> replies{0};
  std::atomic<uint64_t> cacheResends{0};
  std::atomic<uint64_t> cacheRefused{0};   // replies the reply cache had no room for
};

class ServerCore {
 public:
  static constexpr std::size_t kQueueCapacity = 64;
  static constexpr std::size_t kQueuePerSource = 8;  // queued requests of one console MAC

  ServerCore();
  ~ServerCore();
  ServerCore(const ServerCore&) = delete;
  ServerCore& operator=(const ServerCore&) = delete;

  // Takes the adapters in slot order; a null entry is a slot without a usable adapter.
  // Replaces the adapters of an earlier call; queued requests and the reply cache stay.
  void Open(std::vector<std::unique_ptr<Link>> slots);
  // Releases the adapters, forgets queued requests and makes a waiting Receive return.
  void Close();

  // Waits up to maxWait for a request; false without one, or at once when closed.
  bool Receive(uint8_t* buffer, std::size_t capacity, std::size_t& length,
               std::chrono::milliseconds maxWait);
  // Answers the request last received, to the console that sent it, through the adapter it
  // came in on; bytes 4..9 of the reply become that adapter's MAC. A reply to a broadcast
  // leaves after the adapter's spread delay, counted from the request's arrival.
  bool Send(const uint8_t* reply, std::size_t length);
  // The console MAC of the request the last successful Receive handed out; false before any.
  bool LastSender(Mac& console);
  // That console passed a credential check (the channel keeps a hello share for it).
  void TrustLastSender();

  // With a channel every request must come through it (secure_server.h): the clear
  // envelope is refused. Set before Open; it stays for the life of the core.
  void SetChannel(std::shared_ptr<SecureServer> channel);
  // Test seam: the time that ages the reply cache.
  void SetClock(std::function<Clock::time_point()> clock);

  std::size_t SlotCount() const;
  bool SlotLinkUp(std::size_t slot) const;
  const ServerCounters& counters() const { return counters_; }

 private:
  struct Slot {
    std::size_t index = 0;
    Mac mac{};
    std::unique_ptr<Link> link;
    Reassembler reassembler;
  };
  struct Request {
    std::size_t slot = 0;
    Mac slotMac{};
    Mac console{};
    uint32_t transactionId = 0;
    bool broadcast = false;
    Clock::time_point arrival;
    std::array<uint8_t, kHeaderLength> header{};
    std::vector<uint8_t> bytes;  // opened: may hold a password
    bool secure = false;
    ReplySeal seal;
    // Wherever a request ends (served, dropped, replaced, the core closed), its bytes and
    // an unused reply key go with it.
    Request() = default;
    Request(const Request&) = default;
    Request(Request&&) = default;
    Request& operator=(const Request&) = default;
    Request& operator=(Request&&) = default;
    ~Request() {
      crypto::Wipe(bytes.data(), bytes.size());
      seal.Wipe();
    }
  };
  struct Resend {
    std::size_t slot = 0;
    Mac slotMac{};
    std::vector<std::vector<uint8_t>> frames;
    Clock::time_point due;
  };

  void OnFrame(Slot& slot, const uint8_t* frame, std::size_t length);
  // Answers a hello at once from the link's thread; true when the message was one.
  bool AnswerHello(Slot& slot, const Message& message);
  bool SendFrames(std::size_t slot, const Mac& slotMac,
                  const std::vector<std::vector<uint8_t>>& frames);
  bool Matches(const Request& r, const Mac& console, uint32_t transactionId) const {
    return r.console == console && r.transactionId == transactionId;
  }

  mutable std::shared_mutex slotsMutex_;
  std::vector<std::unique_ptr<Slot>> slots_;

  std::mutex mutex_;
  std::condition_variable wake_;
  bool open_ = false;
  uint64_t generation_ = 0;
  std::deque<Request> queue_;
  std::vector<Mac> opening_;  // sources of requests being opened: their places are taken
  std::optional<Request> current_;  // handed out by Receive, not yet answered
  std::optional<Mac> lastSender_;   // kept after the answer, for the agent's rate limits
  std::deque<Resend> resends_;
  ReplyCache cache_;
  ServerCounters counters_;
  std::shared_ptr<SecureServer> channel_;
  std::function<Clock::time_point()> clock_ = [] { return Clock::now(); };
};

}  // namespace tavi
