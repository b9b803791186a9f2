#include "transport/core/secure_server.h"

#include <algorithm>

#include "protocol/byte_order.h"
#include "protocol/frames.h"

namespace tavi {

namespace {
const RequestFacts& FactsOf(const uint8_t* request) {
  return RequestFactsOf(LoadU32(request + FrameOffset::RequestCode));
}
}  // namespace

SecureServer::SecureServer(const Identity& identity) : SecureServer(identity, Limits{}) {}

SecureServer::SecureServer(const Identity& identity, Limits limits)
    : identity_(identity),
      limits_(limits),
      clock_([] { return Clock::now(); }),
      helloBudget_(limits.hellosPerSecond),
      trustedBudget_(limits.trustedHellosPerSecond) {
  // Never reallocated: a move to a new block would leave ephemeral keys in the freed one.
  table_.reserve(limits_.total + 1);
}

SecureServer::~SecureServer() {
  identity_.Wipe();
  for (std::size_t i = table_.size(); i > 0; --i) Erase(i - 1);
}

void SecureServer::SetClock(std::function<Clock::time_point()> clock) {
  std::lock_guard<std::mutex> lock(mutex_);
  clock_ = std::move(clock);
  budgetTime_ = trustedTime_ = {};
  sources_.clear();
}

void SecureServer::Erase(std::size_t index) {
  // Wiped, then rotated to the end and dropped: the slots the others move through end up
  // holding other entries, and the slot left behind holds zeros, not a copy of the last key.
  crypto::Wipe(table_[index].ephemeralPrivate);
  crypto::Wipe(table_[index].freshness);
  for (auto& d : table_[index].derived) d.second.Wipe();
  std::rotate(table_.begin() + static_cast<std::ptrdiff_t>(index),
              table_.begin() + static_cast<std::ptrdiff_t>(index) + 1, table_.end());
  table_.pop_back();
}

void SecureServer::Expire(Clock::time_point now) {
  for (std::size_t i = table_.size(); i > 0; --i)
    if (now - table_[i - 1].issued >= limits_.lifetime) Erase(i - 1);
}

std::size_t SecureServer::Outstanding() {
  std::lock_guard<std::mutex> lock(mutex_);
  Expire(clock_());
  return table_.size();
}

bool SecureServer::Take(double& tokens, Clock::time_point& at, double rate,
                        Clock::time_point now) {
  if (at != Clock::time_point{} && now > at)
    tokens = std::min(rate, tokens + rate * std::chrono::duration<double>(now - at).count());
  at = now;  // a clock that went back restarts the interval, never refills
  if (tokens < 1) return false;
  tokens -= 1;
  return true;
}

void SecureServer::NoteTrustedConsole(const Mac& console) {
  std::lock_guard<std::mutex> lock(mutex_);
  const auto now = clock_();
  trusted_.erase(std::remove_if(trusted_.begin(), trusted_.end(),
                                [&](const auto& t) { return t.first == console; }),
                 trusted_.end());
  if (trusted_.size() >= kTrustedConsoles) trusted_.erase(trusted_.begin());  // the oldest
  trusted_.emplace_back(console, now);
}

bool SecureServer::TakeHello(const Mac& source, Clock::time_point now) {
  // The source's own bucket first (a new source starts full; the least recently used one
  // makes room), so one station cannot spend the whole budget.
  auto it = std::find_if(sources_.begin(), sources_.end(),
                         [&](const Bucket& b) { return b.source == source; });
  Bucket bucket;
  if (it != sources_.end()) {
    bucket = *it;
    sources_.erase(it);
  } else {
    bucket.source = source;
    bucket.tokens = limits_.hellosPerSource;
    if (sources_.size() >= kHelloSources) sources_.erase(sources_.begin());
  }
  const bool own = Take(bucket.tokens, bucket.at, limits_.hellosPerSource, now);
  sources_.push_back(bucket);
  if (!own) return false;
  if (Take(helloBudget_, budgetTime_, limits_.hellosPerSecond, now)) return true;
  // The global budget is gone (a flood): a console proven lately draws on its own share.
  const bool proven = std::any_of(trusted_.begin(), trusted_.end(), [&](const auto& t) {
    return t.first == source && now - t.second < limits_.trustedFor;
  });
  return proven && Take(trustedBudget_, trustedTime_, limits_.trustedHellosPerSecond, now);
}

bool SecureServer::AnswerHello(const Message& hello, const Mac& agent,
                               std::vector<uint8_t>& reply) {
  Fresh fresh;
  Nonce nonce{};
  if (!ParseHelloRequest(hello.bytes, nonce)) {
    ++counters_.malformed;
    return false;
  }
  fresh.hello = RequestDigest(hello);
  {
    std::lock_guard<std::mutex> lock(mutex_);
    if (!TakeHello(hello.source, clock_())) {
      ++counters_.hellosLimited;
      return false;
    }
  }
  fresh.console = hello.source;
  fresh.agent = agent;
  crypto::Random(fresh.freshness.data(), fresh.freshness.size());
  if (!crypto::X25519KeyPair(fresh.ephemeralPrivate, fresh.ephemeralPublic)) return false;
  const auto transcript = HelloTranscript(fresh.hello, fresh.freshness,
                                          fresh.ephemeralPublic, hello.transactionId,
                                          hello.source, agent);
  crypto::Signature signature{};
  if (!crypto::Ed25519Sign(identity_.seed, identity_.publicKey, transcript.data(),
                           transcript.size(), signature)) {
    crypto::Wipe(fresh.ephemeralPrivate);
    return false;
  }
  reply.clear();
  reply.insert(reply.end(), fresh.ephemeralPublic.begin(), fresh.ephemeralPublic.end());
  reply.insert(reply.end(), fresh.freshness.begin(), fresh.freshness.end());
  reply.insert(reply.end(), identity_.publicKey.begin(), identity_.publicKey.end());
  reply.insert(reply.end(), signature.begin(), signature.end());

  std::lock_guard<std::mutex> lock(mutex_);
  const auto now = clock_();
  fresh.issued = now;
  fresh.serial = ++serials_;
  Expire(now);
  const auto mine = [&](const Fresh& f) { return f.console == fresh.console; };
  if (static_cast<std::size_t>(std::count_if(table_.begin(), table_.end(), mine)) >=
      limits_.perConsole) {
    Erase(static_cast<std::size_t>(std::find_if(table_.begin(), table_.end(), mine) - table_.begin()));
    ++counters_.freshnessEvicted;
  }
  if (table_.size() >= limits_.total) {
    Erase(0);  // entries are in issue order
    ++counters_.freshnessEvicted;
  }
  table_.push_back(fresh);
  // Its derived keys never move to a new block either.
  table_.back().derived.reserve(limits_.ephemeralsPerFreshness);
  crypto::Wipe(fresh.ephemeralPrivate);
  ++counters_.hellos;
  return true;
}

bool SecureServer::Open(const Message& message, const Mac& agent, std::vector<uint8_t>& request,
                        ReplySeal& seal) {
  const SecureKind kind = KindOf(message.flags);
  if (kind == SecureKind::Signed) {
    SignedRequest signedRequest;
    if (!ParseSignedRequest(message.bytes, signedRequest)) {
      ++counters_.malformed;
      return false;
    }
    const RequestFacts& facts = FactsOf(signedRequest.request);
    if (facts.carriage != Carriage::Readable) {
      // Credentials in a readable request: never served, whatever the console meant.
      if (facts.credentials) ++counters_.refusedClear;
      else ++counters_.malformed;
      return false;
    }
    request.assign(signedRequest.request, signedRequest.request + signedRequest.length);
    seal.kind = SecureKind::Signed;
    seal.request = RequestDigest(message);
    return true;
  }
  if (kind != SecureKind::Sealed) {
    ++counters_.malformed;
    return false;
  }
  SealedRequest sealed;
  if (!ParseSealedRequest(message.bytes, sealed)) {
    ++counters_.malformed;
    return false;
  }
  // The entry is spent only once the request has opened: an altered copy must not burn the
  // value the genuine retransmission needs. The key agreement runs outside the lock.
  const auto find = [&] {
    return std::find_if(table_.begin(), table_.end(), [&](const Fresh& f) {
      return f.console == message.source && f.agent == agent &&
             crypto::Equal(f.freshness.data(), sealed.freshness.data(), kNonceLength);
    });
  };
  ChannelKeys keys;
  Fresh entry;  // what the agreement needs, copied out
  bool cached = false;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    Expire(clock_());
    const auto it = find();
    if (it == table_.end()) {
      ++counters_.unknownFreshness;
      return false;
    }
    for (const auto& d : it->derived)
      if (crypto::Equal(d.first.data(), sealed.ephemeral.data(), d.first.size())) {
        keys = d.second;  // a retransmission: the keys derived for it
        cached = true;
      }
    if (!cached) {
      if (it->derived.size() >= limits_.ephemeralsPerFreshness) {
        ++counters_.ephemeralsRefused;
        return false;
      }
      // The place is taken now, so concurrent copies cannot exceed the budget.
      it->derived.emplace_back(sealed.ephemeral, ChannelKeys{});
      entry.hello = it->hello;
      entry.freshness = it->freshness;
      entry.ephemeralPrivate = it->ephemeralPrivate;
      entry.ephemeralPublic = it->ephemeralPublic;
      entry.serial = it->serial;
    }
  }
  if (!cached) {
    crypto::Key shared{};
    const bool agreed =
        crypto::X25519(entry.ephemeralPrivate, sealed.ephemeral, shared) &&
        DeriveChannelKeys(shared, entry.hello, entry.freshness, entry.ephemeralPublic,
                          sealed.ephemeral, identity_.publicKey, message.source, agent, keys);
    crypto::Wipe(shared);
    crypto::Wipe(entry.ephemeralPrivate);
    if (!agreed) keys.Wipe();  // a low-order ephemeral: no key opens anything
    std::lock_guard<std::mutex> lock(mutex_);
    const auto it = find();
    if (it != table_.end() && it->serial == entry.serial)
      for (auto& d : it->derived)
        if (crypto::Equal(d.first.data(), sealed.ephemeral.data(), d.first.size())) d.second = keys;
  }
  std::vector<uint8_t> plain;
  if (!OpenInner(keys.toAgent, message.flags, message.transactionId, agent, message.source,
                 sealed.sealed, sealed.length, plain)) {
    keys.Wipe();
    ++counters_.badTag;
    return false;
  }
  std::lock_guard<std::mutex> lock(mutex_);
  const auto it = find();
  if (it == table_.end() || (!cached && it->serial != entry.serial)) {
    // Spent meanwhile by a copy that opened first: this one must not run as well.
    keys.Wipe();
    crypto::Wipe(plain.data(), plain.size());
    ++counters_.unknownFreshness;
    return false;
  }
  // Spent, and the ephemeral private key erased with it: a later theft of the identity
  // key cannot recover this exchange.
  Erase(static_cast<std::size_t>(it - table_.begin()));
  if (FactsOf(plain.data()).carriage != Carriage::Sealed) {
    keys.Wipe();
    crypto::Wipe(plain.data(), plain.size());
    ++counters_.malformed;
    return false;
  }
  request = std::move(plain);
  seal.kind = SecureKind::Sealed;
  seal.key = keys.toConsole;
  keys.Wipe();
  return true;
}

bool SecureServer::Seal(ReplySeal& seal, uint32_t transactionId, const Mac& console,
                        const Mac& agent, const uint8_t* reply, std::size_t length,
                        std::vector<uint8_t>& out, uint8_t& flags) {
  // Each key seals one message under nonce zero: a second reply under it would reuse the
  // nonce.
  if (seal.spent) return false;
  ReplySeal use = seal;
  seal.Wipe();
  if (length < kMinInner || length > kMaxMessageLength) return false;
  flags = SecureFlags(use.kind, true);
  if (use.kind == SecureKind::Sealed) {
    const bool sealed = SealInner(use.key, flags, transactionId, console, agent, reply, length, out);
    use.Wipe();
    return sealed;
  }
  const auto transcript = SignedReplyTranscript(use.request, transactionId, console, agent, reply, length);
  crypto::Signature signature{};
  if (!crypto::Ed25519Sign(identity_.seed, identity_.publicKey, transcript.data(),
                           transcript.size(), signature))
    return false;
  out.assign(reply, reply + length);
  out.insert(out.end(), identity_.publicKey.begin(), identity_.publicKey.end());
  out.insert(out.end(), signature.begin(), signature.end());
  return true;
}

}  // namespace tavi
