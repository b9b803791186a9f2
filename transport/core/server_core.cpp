#include "transport/core/server_core.h"

#include <algorithm>
#include <cstring>

#include "transport/core/spread.h"

namespace tavi {

namespace {
constexpr std::size_t kResendCapacity = 64;
}  // namespace

ServerCore::ServerCore() = default;

ServerCore::~ServerCore() { Close(); }

void ServerCore::SetChannel(std::shared_ptr<SecureServer> channel) {
  std::lock_guard<std::mutex> lock(mutex_);
  channel_ = std::move(channel);
}

void ServerCore::SetClock(std::function<Clock::time_point()> clock) {
  std::lock_guard<std::mutex> lock(mutex_);
  clock_ = std::move(clock);
}

namespace {
// What tells a retransmission from a new request under a reused id: the clear header, or
// for the channel's messages a digest of the whole message (its header is sealed).
std::array<uint8_t, 24> RequestIdentity(const Message& message) {
  std::array<uint8_t, 24> identity{};
  if (message.version == kEnvelopeVersion) {
    std::copy_n(message.bytes.begin(), identity.size(), identity.begin());
  } else {
    std::vector<uint8_t> all{message.flags};
    all.insert(all.end(), message.bytes.begin(), message.bytes.end());
    const auto digest = crypto::Sha256(all.data(), all.size());
    std::copy_n(digest.begin(), identity.size(), identity.begin());
  }
  return identity;
}
}  // namespace

bool ServerCore::AnswerHello(Slot& slot, const Message& message) {
  if (KindOf(message.flags) != SecureKind::Hello) return false;
  std::vector<uint8_t> reply;
  if (channel_->AnswerHello(message, slot.mac, reply)) {
    // Not cached: a lost reply costs the console a new hello and a new freshness value.
    for (const auto& f : BuildFrames(message.source, slot.mac, SecureFlags(SecureKind::Hello, true),
                                     message.transactionId, reply.data(), reply.size(),
                                     kSecureEnvelopeVersion))
      slot.link->Send(f.data(), f.size());
  }
  return true;
}

void ServerCore::Open(std::vector<std::unique_ptr<Link>> links) {
  std::vector<std::unique_ptr<Slot>> fresh;
  fresh.reserve(links.size());
  for (std::size_t i = 0; i < links.size(); ++i) {
    auto slot = std::make_unique<Slot>();
    slot->index = i;
    if (links[i]) {
      slot->mac = links[i]->Address();
      slot->link = std::move(links[i]);
      Slot* s = slot.get();
      if (!s->link->Start([this, s](const uint8_t* f, std::size_t n) { OnFrame(*s, f, n); }))
        s->link.reset();
    }
    fresh.push_back(std::move(slot));
  }
  {
    std::lock_guard<std::mutex> lock(mutex_);
    open_ = true;
  }
  std::vector<std::unique_ptr<Slot>> old;
  {
    std::unique_lock<std::shared_mutex> lock(slotsMutex_);
    old.swap(slots_);
    slots_ = std::move(fresh);
  }
  // Stopped outside the lock: a handler may be sending through its own link right now.
  for (auto& slot : old)
    if (slot->link) slot->link->Stop();
}

void ServerCore::Close() {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    open_ = false;
    ++generation_;
    queue_.clear();
    resends_.clear();
    current_.reset();
  }
  wake_.notify_all();
  std::vector<std::unique_ptr<Slot>> old;
  {
    std::unique_lock<std::shared_mutex> lock(slotsMutex_);
    old.swap(slots_);
  }
  for (auto& slot : old)
    if (slot->link) slot->link->Stop();
}

std::size_t ServerCore::SlotCount() const {
  std::shared_lock<std::shared_mutex> lock(slotsMutex_);
  return slots_.size();
}

bool ServerCore::SlotLinkUp(std::size_t slot) const {
  std::shared_lock<std::shared_mutex> lock(slotsMutex_);
  return slot < slots_.size() && slots_[slot]->link && slots_[slot]->link->LinkUp();
}

void ServerCore::OnFrame(Slot& slot, const uint8_t* frame, std::size_t length) {
  Fragment fragment;
  if (!counters_.drops.Count(ParseFragment(frame, length, fragment))) return;
  if ((fragment.flags & EnvelopeFlag::Reply) != 0 ||
      (!IsBroadcast(fragment.destination) && fragment.destination != slot.mac)) {
    ++counters_.drops.notForUs;
    return;
  }
  std::unique_lock<std::mutex> lock(mutex_);
  const auto now = clock_();
  const std::shared_ptr<SecureServer> channel = channel_;
  lock.unlock();
  Message message;
  if (!slot.reassembler.Add(fragment, now, message)) return;
  if (channel) {
    if (message.version != kSecureEnvelopeVersion) {
      ++channel->counters().refusedClear;  // no downgrade to the clear envelope
      return;
    }
    if (AnswerHello(slot, message)) return;
  } else if (message.version != kEnvelopeVersion) {
    ++counters_.drops.badVersion;
    return;
  } else if (message.bytes.size() < kHeaderLength) {
    ++counters_.drops.malformed;
    return;
  }
  const auto identity = RequestIdentity(message);

  lock.lock();
  if (!open_) return;
  if (const CachedReply* cached = cache_.Find(message.source, message.transactionId, now)) {
    // A retransmission: answer it again, but only through the adapter that answered it;
    // the copies the host's other adapters hear of the same broadcast get nothing.
    const bool sameRequest = cached->requestHeader == identity;
    if (!sameRequest) {
      // A new request that happens to reuse the id: serve it.
    } else if (cached->slot != slot.index) {
      ++counters_.drops.duplicates;
      return;
    } else if (IsBroadcast(message.destination)) {
      // Every agent of the segment hears a repeated broadcast: spread the answers again.
      if (resends_.size() < kResendCapacity)
        resends_.push_back({slot.index, slot.mac, cached->frames, now + DiscoverySpreadDelay(slot.mac)});
      ++counters_.cacheResends;
      lock.unlock();
      wake_.notify_all();
      return;
    } else {
      auto frames = cached->frames;
      ++counters_.cacheResends;
      lock.unlock();
      for (const auto& f : frames) slot.link->Send(f.data(), f.size());
      return;
    }
  }
  const auto same = [&](const Request& r) {
    return Matches(r, message.source, message.transactionId);
  };
  const auto queuedOrServed = [&] {
    return (current_ && same(*current_)) || std::any_of(queue_.begin(), queue_.end(), same);
  };
  // A source may hold only a few places, so that one flooding station cannot fill the queue
  // and push out the requests of other consoles. Places being opened count as taken.
  const auto room = [&] {
    const auto fromSource =
        std::count_if(queue_.begin(), queue_.end(),
                      [&](const Request& r) { return r.console == message.source; }) +
        std::count(opening_.begin(), opening_.end(), message.source);
    return queue_.size() + opening_.size() < kQueueCapacity &&
           static_cast<std::size_t>(fromSource) < kQueuePerSource;
  };
  Request request;
  if (channel) {
    if (queuedOrServed()) {
      ++counters_.drops.duplicates;
      return;
    }
    // The place is taken before the request opens, which spends its freshness value: a
    // request that opened always finds its place.
    if (!room()) {
      ++counters_.drops.overflow;
      return;
    }
    opening_.push_back(message.source);
    // Opened outside the lock: it may cost a key agreement.
    lock.unlock();
    // Held by the request from here on, so an early return wipes it with the request.
    const bool opened = channel->Open(message, slot.mac, request.bytes, request.seal) &&
                        request.bytes.size() >= kHeaderLength;
    lock.lock();
    opening_.erase(std::find(opening_.begin(), opening_.end(), message.source));
    if (!opened || !open_) return;
    request.secure = true;
  }
  if (queuedOrServed()) {
    ++counters_.drops.duplicates;
    return;
  }
  if (!room()) {
    ++counters_.drops.overflow;
    return;
  }
  request.slot = slot.index;
  request.slotMac = slot.mac;
  request.console = message.source;
  request.transactionId = message.transactionId;
  request.broadcast = IsBroadcast(message.destination);
  request.arrival = now;
  request.header = identity;
  if (!request.secure) request.bytes = std::move(message.bytes);
  queue_.push_back(std::move(request));
  lock.unlock();
  wake_.notify_all();
}

bool ServerCore::SendFrames(std::size_t slot, const Mac& slotMac,
                            const std::vector<std::vector<uint8_t>>& frames) {
  std::shared_lock<std::shared_mutex> lock(slotsMutex_);
  // After a restart the slot may hold another adapter: never answer through it.
  if (slot >= slots_.size() || !slots_[slot]->link || slots_[slot]->mac != slotMac) return false;
  bool sent = !frames.empty();
  for (const auto& f : frames) sent = slots_[slot]->link->Send(f.data(), f.size()) && sent;
  return sent;
}

bool ServerCore::Receive(uint8_t* buffer, std::size_t capacity, std::size_t& length,
                         std::chrono::milliseconds maxWait) {
  const auto deadline = Clock::now() + maxWait;
  std::unique_lock<std::mutex> lock(mutex_);
  const uint64_t generation = generation_;
  current_.reset();  // the caller is done with the previous request, answered or not
  for (;;) {
    if (!open_ || generation != generation_) return false;
    const auto now = Clock::now();
    while (!resends_.empty() && resends_.front().due <= now) {
      Resend resend = std::move(resends_.front());
      resends_.pop_front();
      lock.unlock();
      SendFrames(resend.slot, resend.slotMac, resend.frames);
      lock.lock();
      if (!open_ || generation != generation_) return false;
    }
    if (!queue_.empty()) {
      Request request = std::move(queue_.front());
      queue_.pop_front();
      if (buffer == nullptr || request.bytes.size() > capacity) {
        ++counters_.drops.overflow;
        continue;
      }
      std::copy(request.bytes.begin(), request.bytes.end(), buffer);
      length = request.bytes.size();
      crypto::Wipe(request.bytes.data(), request.bytes.size());
      request.bytes.clear();
      lastSender_ = request.console;
      current_ = std::move(request);
      ++counters_.delivered;
      return true;
    }
    if (now >= deadline) return false;
    auto until = deadline;
    for (const auto& r : resends_) until = std::min(until, r.due);
    wake_.wait_until(lock, until);
  }
}

bool ServerCore::Send(const uint8_t* reply, std::size_t length) {
  if (reply == nullptr || length < kHeaderLength) return false;
  length = std::min(length, kMaxMessageLength);
  std::unique_lock<std::mutex> lock(mutex_);
  if (!open_ || !current_) return false;
  Request request = *current_;
  current_->seal.Wipe();
  const uint64_t generation = generation_;
  if (request.broadcast) {
    const auto due = request.arrival + DiscoverySpreadDelay(request.slotMac);
    while (open_ && generation == generation_ && Clock::now() < due) wake_.wait_until(lock, due);
    if (!open_ || generation != generation_) return false;
  }
  lock.unlock();

  std::vector<uint8_t> message(reply, reply + length);
  std::copy(request.slotMac.begin(), request.slotMac.end(), message.begin() + FrameOffset::AgentMac);
  uint8_t flags = EnvelopeFlag::Reply;
  uint8_t version = kEnvelopeVersion;
  if (request.secure) {
    std::vector<uint8_t> wrapped;
    const bool sealed = channel_->Seal(request.seal, request.transactionId, request.console,
                                       request.slotMac, message.data(), message.size(), wrapped,
                                       flags);
    crypto::Wipe(message.data(), message.size());
    request.seal.Wipe();
    if (!sealed) return false;
    message = std::move(wrapped);
    version = kSecureEnvelopeVersion;
  }
  auto frames = BuildFrames(request.console, request.slotMac, flags, request.transactionId,
                            message.data(), message.size(), version);
  const bool sent = SendFrames(request.slot, request.slotMac, frames);

  lock.lock();
  // Cached even when the adapter refused it: the console's retransmission then gets the
  // reply instead of running the request again.
  {
    CachedReply cached;
    cached.console = request.console;
    cached.transactionId = request.transactionId;
    cached.slot = request.slot;
    cached.requestHeader = request.header;
    cached.frames = std::move(frames);
    if (!cache_.Store(std::move(cached), clock_())) ++counters_.cacheRefused;
  }
  if (sent) ++counters_.replies;
  if (current_ && Matches(*current_, request.console, request.transactionId)) current_.reset();
  return sent;
}

void ServerCore::TrustLastSender() {
  std::unique_lock<std::mutex> lock(mutex_);
  const auto console = lastSender_;
  const auto channel = channel_;
  lock.unlock();
  if (console && channel) channel->NoteTrustedConsole(*console);
}

bool ServerCore::LastSender(Mac& console) {
  std::lock_guard<std::mutex> lock(mutex_);
  if (!lastSender_) return false;
  console = *lastSender_;
  return true;
}

}  // namespace tavi
