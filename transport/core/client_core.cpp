#include "transport/core/client_core.h"

#include <algorithm>
#include <random>
#include <set>

#include "protocol/byte_order.h"

namespace tavi {

namespace {
// Replies held for one exchange; a discovery on a crowded segment needs the most.
constexpr std::size_t kMaxQueuedReplies = 4096;
constexpr std::chrono::milliseconds kRebroadcastInterval{1000};
}  // namespace

ClientCore::ClientCore(std::vector<std::unique_ptr<Link>> links) {
  std::random_device random;
  lastTransaction_ = random();
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
  // Sequential from a random start: unique among this console's exchanges, and unlikely to
  // meet the ids of an earlier run of the console in an agent's reply cache.
  do {
    ++lastTransaction_;
  } while (lastTransaction_ == 0 || waiters_.count(lastTransaction_) != 0);
  return lastTransaction_;
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
    if (request == nullptr || length < kRequestHeaderLength || length > kMaxMessageLength)
      return false;
    out.version = kEnvelopeVersion;
    out.flags = 0;
    out.bytes.assign(request, request + length);
    StoreU32(out.bytes.data() + kReservedOffset, transactionId);
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
                             uint64_t workId) {
  std::set<Mac> seen;
  return Run(Mode::Broadcast, adapter, kBroadcast, ClearBuilder(request, length), timing,
             [&](Message& m) {
               // One entry per agent adapter, however often it repeats its reply.
               if (seen.insert(m.source).second) onReply(m);
               else ++counters_.drops.duplicates;
               return false;
             },
             workId);
}

Outcome ClientCore::Run(Mode mode, std::size_t adapterIndex, const Mac& destination,
                        const Builder& build, ExchangeTiming timing,
                        const std::function<bool(Message&)>& onReply, uint64_t workId) {
  if (adapterIndex >= adapters_.size() || !adapters_[adapterIndex]->link)
    return Outcome::AdapterUnusable;
  Adapter& adapter = *adapters_[adapterIndex];

  auto waiter = std::make_shared<Waiter>();
  waiter->adapter = adapterIndex;
  waiter->workId = workId;
  uint32_t transactionId = 0;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    if (shutdown_) return Outcome::AdapterUnusable;
    transactionId = NewTransactionId();
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
      waiter->replies.erase(waiter->replies.begin());
      lock.unlock();
      ++counters_.replies;
      const bool done = onReply(message);
      lock.lock();
      if (done) return Outcome::Replied;
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
