#include "transport/core/client_core.h"

#include <algorithm>
#include <set>

#include "protocol/byte_order.h"
#include "protocol/frames.h"
#include "transport/core/crypto.h"

namespace tavi {

namespace {
// Replies held for one exchange; a discovery on a crowded segment needs the most.
constexpr std::size_t kMaxQueuedReplies = 4096;
constexpr std::chrono::milliseconds kRebroadcastInterval{1000};
}  // namespace

ClientCore::ClientCore(std::vector<std::unique_ptr<Link>> links) {
  for (std::size_t i = 0; i < links.size(); ++i) {
    auto adapter = std::make_unique<Adapter>();
    adapter->index = i;
    if (links[i]) {
      adapter->mac = links[i]->Address();
      adapter->link = std::move(links[i]);
      Adapter* a = adapter.get();
      if (!a->link->Start([this, a](const uint8_t* f, std::size_t n) { OnFrame(*a, f, n); }))
        a->link.reset();
    }
    adapters_.push_back(std::move(adapter));
  }
}

ClientCore::~ClientCore() { Shutdown(); }

bool ClientCore::AdapterUsable(std::size_t adapter) const {
  return adapter < adapters_.size() && adapters_[adapter]->link &&
         adapters_[adapter]->link->LinkUp();
}

std::vector<std::chrono::milliseconds> ClientCore::RetrySchedule(std::chrono::milliseconds window,
                                                               int retries) {
  // Back off from kFirstRetry, doubling up to kLongestRetry; when that does not fit into
  // nine tenths of the window (the last reply needs time to come back), space evenly.
  std::vector<std::chrono::milliseconds> schedule{std::chrono::milliseconds(0)};
  auto gap = kFirstRetry;
  for (int i = 0; i < retries; ++i) {
    schedule.push_back(schedule.back() + gap);
    gap = std::min(gap * 2, kLongestRetry);
  }
  if (retries > 0 && schedule.back() > window * 9 / 10) {
    for (int i = 0; i <= retries; ++i) schedule[i] = window * i / (retries + 1);
  }
  return schedule;
}

uint32_t ClientCore::NewTransactionId() {
  // Random, not sequential: every discovery broadcast shows its id to the whole segment,
  // and a station must not be able to tell from it the id of the next request.
  for (int attempt = 0; attempt < 16; ++attempt) {
    uint8_t bytes[4];
    crypto::Random(bytes, sizeof bytes);
    const uint32_t id = LoadU32(bytes);
    if (id != 0 && waiters_.count(id) == 0) return id;
  }
  ++counters_.randomFailures;
  return 0;
}

void ClientCore::Cancel(uint64_t workId) {
  if (workId == 0) return;
  std::lock_guard<std::mutex> lock(mutex_);
  for (auto& entry : waiters_) {
    if (entry.second->workId == workId) {
      entry.second->cancelled = true;
      entry.second->wake.notify_all();
    }
  }
}

void ClientCore::Wake(uint32_t transactionId) {
  std::lock_guard<std::mutex> lock(mutex_);
  const auto it = waiters_.find(transactionId);
  if (it == waiters_.end()) return;
  it->second->woken = true;
  it->second->wake.notify_all();
}

void ClientCore::Shutdown() {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    shutdown_ = true;
    for (auto& entry : waiters_) entry.second->wake.notify_all();
  }
  for (auto& adapter : adapters_)
    if (adapter->link) adapter->link->Stop();
}

void ClientCore::OnFrame(Adapter& adapter, const uint8_t* frame, std::size_t length) {
  Fragment fragment;
  if (!counters_.drops.Count(ParseFragment(frame, length, fragment))) return;
  if ((fragment.flags & EnvelopeFlag::Reply) == 0 || fragment.destination != adapter.mac) {
    ++counters_.drops.notForUs;
    return;
  }
  Message message;
  if (!adapter.reassembler.Add(fragment, Clock::now(), message)) return;

  std::lock_guard<std::mutex> lock(mutex_);
  auto it = waiters_.find(message.transactionId);
  if (it == waiters_.end() || it->second->adapter != adapter.index) {
    ++counters_.drops.unmatched;
    return;
  }
  // Anyone who saw or guessed the id could answer; only the station asked may.
  if (!it->second->broadcast && message.source != it->second->destination) {
    ++counters_.drops.wrongSource;
    return;
  }
  if (it->second->replies.size() >= kMaxQueuedReplies) {
    ++counters_.drops.overflow;
    return;
  }
  it->second->replies.push_back(std::move(message));
  it->second->wake.notify_all();
}

Mac ClientCore::AdapterMac(std::size_t adapter) const {
  return adapter < adapters_.size() ? adapters_[adapter]->mac : Mac{};
}

ClientCore::Builder ClientCore::ClearBuilder(const uint8_t* request, std::size_t length) {
  return [request, length](uint32_t transactionId, Outgoing& out) {
    if (request == nullptr || length < kHeaderLength || length > kMaxMessageLength)
      return false;
    out.version = kEnvelopeVersion;
    out.flags = 0;
    out.bytes.assign(request, request + length);
    // The fresh per-request value goes into the header's reserved bytes.
    StoreU32(out.bytes.data() + FrameOffset::Reserved, transactionId);
    return true;
  };
}

Outcome ClientCore::Exchange(std::size_t adapter, const Mac& destination, const uint8_t* request,
                             std::size_t length, ExchangeTiming timing,
                             std::vector<uint8_t>& reply, uint64_t workId) {
  return Run(Mode::Unicast, adapter, destination, ClearBuilder(request, length), timing,
             [&](Message& m) {
               reply = std::move(m.bytes);
               return true;
             },
             workId);
}

Outcome ClientCore::Discover(std::size_t adapter, const uint8_t* request, std::size_t length,
                             ExchangeTiming timing,
                             const std::function<void(const Message&)>& onReply,
                             uint64_t workId, std::size_t maxHosts) {
  maxHosts = std::min(maxHosts, kMaxDiscoveredHosts);
  if (maxHosts == 0) return Outcome::HostLimit;
  std::set<Mac> seen;  // at most maxHosts entries
  bool full = false;
  const Outcome outcome = Run(Mode::Broadcast, adapter, kBroadcastMac, ClearBuilder(request, length), timing,
             [&](Message& m) {
               // One entry per agent adapter, however often it repeats its reply.
               if (seen.count(m.source) != 0) {
                 ++counters_.drops.duplicates;
                 return false;
               }
               seen.insert(m.source);
               onReply(m);
               full = seen.size() >= maxHosts;
               return full;  // at the limit: stop listing at once
             },
             workId);
  return full ? Outcome::HostLimit : outcome;
}

Outcome ClientCore::Run(Mode mode, std::size_t adapterIndex, const Mac& destination,
                        const Builder& build, ExchangeTiming timing,
                        const std::function<bool(Message&)>& onReply, uint64_t workId,
                        const std::function<bool()>& onWake) {
  if (adapterIndex >= adapters_.size() || !adapters_[adapterIndex]->link)
    return Outcome::AdapterUnusable;
  Adapter& adapter = *adapters_[adapterIndex];

  auto waiter = std::make_shared<Waiter>();
  waiter->adapter = adapterIndex;
  waiter->destination = destination;
  waiter->broadcast = mode == Mode::Broadcast;
  waiter->workId = workId;
  uint32_t transactionId = 0;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    if (shutdown_) return Outcome::AdapterUnusable;
    transactionId = NewTransactionId();
    if (transactionId == 0) return Outcome::TimedOut;
    waiters_.emplace(transactionId, waiter);
  }
  struct Unregister {
    ClientCore& core;
    uint32_t id;
    ~Unregister() {
      std::lock_guard<std::mutex> lock(core.mutex_);
      core.waiters_.erase(id);
    }
  } unregister{*this, transactionId};
  // Built outside the lock: the channel's messages cost a key agreement.
  Outgoing out;
  if (!build(transactionId, out)) return Outcome::TimedOut;
  const auto frames = BuildFrames(destination, adapter.mac, out.flags, transactionId,
                                  out.bytes.data(), out.bytes.size(), out.version);
  if (frames.empty()) return Outcome::TimedOut;

  const auto start = Clock::now();
  const auto deadline = start + std::max(timing.window, kMinimumWindow);
  const int retries = std::clamp(timing.retries, 0, 100);
  std::vector<std::chrono::milliseconds> schedule;  // offsets of each send from the start
  if (mode == Mode::Broadcast) {
    for (int i = 0; i <= retries; ++i) {
      const auto at = kRebroadcastInterval * i;
      // A broadcast repeated in the window's last second could not be answered in time.
      if (i > 0 && at + kRebroadcastInterval > timing.window) break;
      schedule.push_back(at);
    }
  } else {
    schedule = RetrySchedule(std::max(timing.window, kMinimumWindow), retries);
  }
  std::size_t nextSend = 0;
  ++counters_.requests;

  std::unique_lock<std::mutex> lock(mutex_);
  for (;;) {
    if (shutdown_ || waiter->cancelled) return Outcome::Cancelled;
    while (!waiter->replies.empty()) {
      Message message = std::move(waiter->replies.front());
      waiter->replies.pop_front();
      lock.unlock();
      ++counters_.replies;
      const bool done = onReply(message);
      lock.lock();
      if (done) return Outcome::Replied;
      // A flood that arrives as fast as it is taken must not hold the exchange open.
      if (Clock::now() >= deadline) return Outcome::TimedOut;
    }
    if (waiter->woken) {
      waiter->woken = false;
      if (onWake) {
        // Wakes come with every checked reply: under a flood they never stop, so the window
        // is looked at before each one.
        if (Clock::now() >= deadline) return Outcome::TimedOut;
        lock.unlock();
        const bool done = onWake();
        lock.lock();
        if (done) return Outcome::Replied;
        continue;  // replies may have come in meanwhile
      }
    }
    const auto now = Clock::now();
    if (now >= deadline) return Outcome::TimedOut;
    if (nextSend < schedule.size() && now >= start + schedule[nextSend]) {
      const bool first = nextSend == 0;
      lock.unlock();
      bool sent = true;
      for (const auto& f : frames) sent = adapter.link->Send(f.data(), f.size()) && sent;
      lock.lock();
      // A refused first send means the adapter is gone only when its link is down too; a
      // full transmit queue (ENOBUFS) is plain loss, and the retransmission covers it.
      if (!sent) ++counters_.sendFailures;
      if (!sent && first && !adapter.link->LinkUp()) return Outcome::AdapterUnusable;
      if (!first) ++counters_.retransmissions;
      ++nextSend;
      continue;
    }
    waiter->wake.wait_until(
        lock, nextSend < schedule.size() ? std::min(deadline, start + schedule[nextSend]) : deadline);
  }
}

}  // namespace tavi
