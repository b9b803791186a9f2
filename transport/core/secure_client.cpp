#include "transport/core/secure_client.h"

#include <algorithm>
#include <set>
#include <system_error>
#include <thread>
#include <vector>

#include "protocol/byte_order.h"
#include "protocol/frames.h"
#include "transport/core/identity.h"
#include "transport/platform/clock.h"

namespace tavi {

namespace {


bool SameKey(const crypto::Key& a, const crypto::Key& b) {
  return crypto::Equal(a.data(), b.data(), a.size());
}
// The request as it goes out: the console's bytes with the transaction id in the header's
// reserved bytes, so the agent's repeated-header check drops retransmissions only.
bool InnerRequest(const uint8_t* request, std::size_t length, uint32_t transactionId,
                  std::vector<uint8_t>& out) {
  if (request == nullptr || length < kMinInner || length > kMaxMessageLength) return false;
  out.assign(request, request + length);
  StoreU32(out.data() + FrameOffset::Reserved, transactionId);
  return true;
}
// User name and password of a request that goes out readable: zero, whatever the caller
// left there. Readable codes need no credentials, and these frames are readable by every
// station.
constexpr std::size_t kCredentialOffset = FrameOffset::UserName;
constexpr std::size_t kCredentialBytes = kUserNameLength + kPasswordLength;
static_assert(FrameOffset::Password == kCredentialOffset + kUserNameLength);
bool ReadableRequest(const uint8_t* request, std::size_t length, uint32_t transactionId,
                     std::vector<uint8_t>& out) {
  if (!InnerRequest(request, length, transactionId, out)) return false;
  if (out.size() > kCredentialOffset)
    std::fill_n(out.begin() + kCredentialOffset,
                std::min(kCredentialBytes, out.size() - kCredentialOffset), uint8_t{0});
  return true;
}
// A readable request message: the nonce, then the request as it goes out.
bool SignedRequestMessage(const Nonce& nonce, const uint8_t* request, std::size_t length,
                          uint32_t transactionId, std::vector<uint8_t>& out) {
  std::vector<uint8_t> inner;
  if (!ReadableRequest(request, length, transactionId, inner)) return false;
  out.assign(nonce.begin(), nonce.end());
  out.insert(out.end(), inner.begin(), inner.end());
  return true;
}
// The digest a signed reply to the request sent under `transactionId` must carry.
std::optional<crypto::Digest> SignedRequestDigest(const Nonce& nonce, const uint8_t* request,
                                                  std::size_t length, uint32_t transactionId) {
  std::vector<uint8_t> message;
  if (!SignedRequestMessage(nonce, request, length, transactionId, message)) return std::nullopt;
  return RequestDigest(SecureFlags(SecureKind::Signed, false), message.data(), message.size());
}
}  // namespace

SecureClient::SecureClient(std::shared_ptr<TrustStore> store) : store_(std::move(store)) {
  if (!store_) store_ = std::make_shared<TrustStore>(std::string());
}

bool SecureClient::ParseSigned(const Message& m, SignedReply& out) {
  if (m.version != kSecureEnvelopeVersion || m.flags != SecureFlags(SecureKind::Signed, true) ||
      !ParseSignedReply(m.bytes, out)) {
    ++counters_.unverified;
    return false;
  }
  return true;
}

bool SecureClient::SignatureValid(const Message& m, const crypto::Digest& request,
                                  const SignedReply& r) {
  const uint64_t before = ThreadCpuMicros();
  const auto transcript = SignedReplyTranscript(request, m.transactionId, m.destination, m.source,
                                                r.reply, r.length);
  const bool valid =
      crypto::Ed25519Verify(r.agentKey, transcript.data(), transcript.size(), r.signature);
  counters_.verifyMicros += ThreadCpuMicros() - before;
  ++counters_.verifications;
  if (!valid) ++counters_.unverified;
  return valid;
}

bool SecureClient::VerifySigned(const Message& m, const crypto::Digest& request,
                                SignedReply& out) {
  return ParseSigned(m, out) && SignatureValid(m, request, out);
}

std::optional<crypto::Key> SecureClient::Pinned(const Mac& agent) {
  if (const auto entry = store_->Find(agent)) return entry->key;
  return std::nullopt;
}

KnownKeys SecureClient::Known(const Mac& agent) {
  KnownKeys known;
  if (const auto pinned = store_->Find(agent)) known.pinned = pinned->key;
  known.seen = seen_.Key(agent);
  return known;
}

Outcome SecureClient::Discover(ClientCore& core, std::size_t adapter, const uint8_t* request, std::size_t length,
                               ExchangeTiming timing,
                               const std::function<void(const Message&)>& onReply,
                               uint64_t workId, std::size_t maxHosts) {
  // At most maxHosts listed and as many held: a flood of invented MACs costs bounded memory.
  maxHosts = std::min(maxHosts, ClientCore::kMaxDiscoveredHosts);
  if (maxHosts == 0) return Outcome::HostLimit;
  lastUnchecked_ = 0;
  const uint64_t uncheckedBefore = counters_.unchecked;
  Nonce nonce{};
  crypto::Random(nonce.data(), nonce.size());
  std::atomic<uint32_t> transactionId{0};
  const auto build = [&](uint32_t id, ClientCore::Outgoing& out) {
    if (!SignedRequestMessage(nonce, request, length, id, out.bytes)) return false;
    transactionId = id;
    out.version = kSecureEnvelopeVersion;
    out.flags = SecureFlags(SecureKind::Signed, false);
    return true;
  };
  struct Held {
    Message message;
    crypto::Key key{};
  };
  // Touched on this thread only: the receive callback and the listing both run here.
  std::set<Mac> listed;
  std::map<Mac, Held> held;
  std::set<Mac> pendingPinned;  // a reply with the pinned key waits for its check
  std::set<Mac> heardPinned;    // pinned MACs that answered in some form
  const auto list = [&](const Message& m, const SignedReply& r) {
    listed.insert(m.source);
    seen_.Remember(m.source, r.agentKey, r.reply, r.length);
    Message inner = m;
    inner.bytes.assign(r.reply, r.reply + r.length);
    onReply(inner);
  };
  // The listing of a reply whose signature has been checked; true at the host limit.
  const ReplyVerifier::Take take = [&](Message& m, bool verified) {
    SignedReply r;
    if (!ParseSigned(m, r)) return false;
    const auto pinned = Pinned(m.source);
    if (pinned && SameKey(*pinned, r.agentKey)) pendingPinned.erase(m.source);
    if (!verified || listed.count(m.source) != 0) return false;
    if (ListingFor(pinned, r.agentKey) == DiscoveryListing::HoldBack) {
      // Not the pinned key: listed only if the pinned key does not answer in this window,
      // so a station that answers first with a real agent's MAC and a key of its own does
      // not push the genuine host aside.
      if (held.count(m.source) == 0 && held.size() < maxHosts) {
        const Mac source = m.source;
        Held h;
        h.key = r.agentKey;
        h.message = std::move(m);
        held.emplace(source, std::move(h));
      } else {
        ++counters_.impostors;
      }
      return false;
    }
    if (held.erase(m.source) != 0) ++counters_.impostors;
    list(m, r);
    return listed.size() >= maxHosts;  // at the limit: stop listing at once
  };
  // Never more replies waiting per lane than hosts may be listed; the workers end before
  // this returns, so nothing they do outlives the nonce, the lists or onReply.
  ReplyVerifier verifier(
      maxHosts, verifyWorkers_ != 0 ? verifyWorkers_.load() : ReplyVerifier::DefaultWorkers(),
      [&](const Message& m) {
        // The request this reply must answer is the one sent under its id: a reply to any
        // other request under the same nonce fails here.
        SignedReply r;
        const auto digest = SignedRequestDigest(nonce, request, length, m.transactionId);
        return digest && ParseSigned(m, r) && SignatureValid(m, *digest, r);
      },
      [&] { core.Wake(transactionId); });
  // Listing a host may be slow (a console adds a row for it): the window bounds it too, so a
  // flood of replies that verify cannot keep the discovery going past it.
  const auto listUntil = Clock::now() + std::max(timing.window, ClientCore::kMinimumWindow);
  bool full = false;
  Outcome outcome = core.Run(
      ClientCore::Mode::Broadcast, adapter, kBroadcastMac, build, timing,
      [&](Message& m) {
        // Only the cheap checks here: the receive path must keep up with a full segment.
        SignedReply r;
        if (!ParseSigned(m, r) || listed.count(m.source) != 0) return false;
        const Mac source = m.source;
        const auto pinned = Pinned(source);
        if (pinned) heardPinned.insert(source);
        switch (LaneFor(pinned, r.agentKey, pendingPinned.count(source) != 0,
                        held.count(source) != 0)) {
          case DiscoveryLane::Pinned:
            // Checked before anything else, one at a time per MAC: forgeries under the
            // pinned key can delay the genuine reply by one check each, never crowd it out.
            if (verifier.Submit(std::move(m), ReplyVerifier::Lane::Pinned))
              pendingPinned.insert(source);
            else
              ++counters_.unchecked;
            break;
          case DiscoveryLane::Other:
            if (!verifier.Submit(std::move(m), ReplyVerifier::Lane::Other)) ++counters_.unchecked;
            break;
          case DiscoveryLane::Pending:
            ++counters_.unchecked;
            break;
          case DiscoveryLane::HeldBack:
            break;  // one of its kind waits already
        }
        return false;
      },
      workId, [&] { return full = verifier.Drain(listUntil, take); });
  if (outcome == Outcome::TimedOut)
    full = verifier.DrainUntil(Clock::now() + kLateChecks, take);
  counters_.unchecked += verifier.Stop();
  if (!full && listed.size() < maxHosts && outcome == Outcome::TimedOut) {
    // A pinned host that the flood kept off the list is asked once more, directly: its
    // reply is matched by a fresh random id and its MAC, which no flood prepared in advance
    // can answer.
    std::vector<Mac> missing;
    for (const Mac& mac : heardPinned)
      if (listed.count(mac) == 0 && missing.size() < kMissingRefreshes) missing.push_back(mac);
    for (const Mac& mac : PinnedSeen())
      if (listed.count(mac) == 0 && heardPinned.count(mac) == 0 && missing.size() < kMissingRefreshes)
        missing.push_back(mac);
    for (const auto& reply : RefreshMissing(core, adapter, request, length, missing)) {
      if (listed.size() >= maxHosts) break;
      // Verified and remembered by the exchange already.
      if (held.erase(reply.source) != 0) ++counters_.impostors;
      listed.insert(reply.source);
      onReply(reply);
    }
  }
  if (full || listed.size() >= maxHosts) {
    lastUnchecked_ = counters_.unchecked - uncheckedBefore;
    return Outcome::HostLimit;
  }
  if (outcome != Outcome::Cancelled) {
    for (auto& entry : held) {
      if (listed.size() >= maxHosts) break;
      SignedReply r;
      if (ParseSignedReply(entry.second.message.bytes, r)) list(entry.second.message, r);
    }
  }
  lastUnchecked_ = counters_.unchecked - uncheckedBefore;
  return outcome;
}

std::vector<Mac> SecureClient::PinnedSeen() {
  std::vector<Mac> pinned;
  for (const auto& [mac, key] : seen_.All()) {
    const auto pin = Pinned(mac);
    if (pin && SameKey(*pin, key)) pinned.push_back(mac);
  }
  return pinned;
}

std::vector<Message> SecureClient::RefreshMissing(ClientCore& core, std::size_t adapter,
                                                  const uint8_t* request, std::size_t length,
                                                  const std::vector<Mac>& missing) {
  std::vector<Message> replies;
  if (missing.empty() || request == nullptr || length < kMinInner || length > kMaxMessageLength)
    return replies;
  std::mutex mutex;
  // All at once, each with one retransmission: the step costs about kMissingWindow however
  // many hosts are missing.
  std::vector<std::thread> askers;
  for (const Mac& mac : missing) {
    try {
      askers.emplace_back([&, mac] {
        std::vector<uint8_t> refresh(request, request + length);
        StoreU32(refresh.data() + FrameOffset::RequestCode, Request::Refresh);
        std::copy(mac.begin(), mac.end(), refresh.begin() + FrameOffset::AgentMac);
        std::vector<uint8_t> reply;
        const Result result =
            Exchange(core, adapter, mac, refresh.data(), refresh.size(), {kMissingWindow, 1}, reply);
        if (result.outcome != Outcome::Replied || result.refusal != 0) return;
        // Listed as the discovery reply it stands in for.
        if (reply.size() >= FrameOffset::RequestCode + 4)
          StoreU32(reply.data() + FrameOffset::RequestCode, Request::Discover);
        Message m;
        m.version = kSecureEnvelopeVersion;
        m.flags = SecureFlags(SecureKind::Signed, true);
        m.source = mac;
        m.destination = core.AdapterMac(adapter);
        m.bytes = std::move(reply);
        std::lock_guard<std::mutex> lock(mutex);
        replies.push_back(std::move(m));
      });
    } catch (const std::system_error&) {
      break;  // no thread to be had: the hosts asked so far are enough
    }
  }
  for (auto& asker : askers) asker.join();
  counters_.missingRefreshes += missing.size();
  return replies;
}

SecureClient::Result SecureClient::Exchange(ClientCore& core, std::size_t adapter, const Mac& destination,
                                            const uint8_t* request, std::size_t length,
                                            ExchangeTiming timing, std::vector<uint8_t>& reply,
                                            uint64_t workId) {
  if (request == nullptr || length < kMinInner) return {Outcome::TimedOut, 0};
  if (RequestFactsOf(LoadU32(request + FrameOffset::RequestCode)).carriage == Carriage::Sealed)
    return Sealed(core, adapter, destination, request, length, timing, reply, workId);

  Nonce nonce{};
  crypto::Random(nonce.data(), nonce.size());
  const auto build = [&](uint32_t transactionId, ClientCore::Outgoing& out) {
    if (!SignedRequestMessage(nonce, request, length, transactionId, out.bytes)) return false;
    out.version = kSecureEnvelopeVersion;
    out.flags = SecureFlags(SecureKind::Signed, false);
    return true;
  };
  Result result;
  result.outcome = core.Run(
      ClientCore::Mode::Unicast, adapter, destination, build, timing,
      [&](Message& m) {
        SignedReply r;
        const auto digest = SignedRequestDigest(nonce, request, length, m.transactionId);
        if (m.source != destination || !digest || !VerifySigned(m, *digest, r)) return false;
        if (!ReadableReplyAcceptable(Known(destination), r.agentKey)) {
          ++counters_.impostors;
          return false;
        }
        seen_.Remember(destination, r.agentKey, r.reply, r.length);
        reply.assign(r.reply, r.reply + r.length);
        return true;
      },
      workId);
  return result;
}

SecureClient::Result SecureClient::Sealed(ClientCore& core, std::size_t adapter, const Mac& destination,
                                          const uint8_t* request, std::size_t length,
                                          ExchangeTiming timing, std::vector<uint8_t>& reply,
                                          uint64_t workId) {
  const Mac console = core.AdapterMac(adapter);
  const auto refuse = [&](uint16_t status) {
    ++counters_.refused;
    return Result{Outcome::Replied, status};
  };
  // What is already known decides before a single frame leaves. A store that cannot be
  // read trusts nothing: read as empty it would let any key through as a first contact.
  if (!store_->Load()) return refuse(Status::TrustStoreUnreadable);
  switch (DecideBeforeHello(Known(destination), prompting_)) {
    case BeforeHello::RefuseChanged: return refuse(Status::HostKeyChanged);
    case BeforeHello::RefuseNotTrusted: return refuse(Status::HostKeyNotTrusted);
    case BeforeHello::Go: break;
  }

  // Round trip 1: the agent's signed ephemeral key and freshness value.
  const auto deadline = Clock::now() + std::max(timing.window, ClientCore::kMinimumWindow);
  Nonce nonce{};
  crypto::Random(nonce.data(), nonce.size());
  const crypto::Digest helloDigest =
      RequestDigest(SecureFlags(SecureKind::Hello, false), nonce.data(), nonce.size());
  HelloReply hello;
  const Outcome helloOutcome = core.Run(
      ClientCore::Mode::Unicast, adapter, destination,
      [&](uint32_t, ClientCore::Outgoing& out) {
        out.version = kSecureEnvelopeVersion;
        out.flags = SecureFlags(SecureKind::Hello, false);
        out.bytes.assign(nonce.begin(), nonce.end());
        return true;
      },
      {std::max(timing.window / 3, ClientCore::kMinimumWindow), timing.retries},
      [&](Message& m) {
        HelloReply h;
        if (m.source != destination || m.version != kSecureEnvelopeVersion ||
            m.flags != SecureFlags(SecureKind::Hello, true) || !ParseHelloReply(m.bytes, h)) {
          ++counters_.unverified;
          return false;
        }
        const auto transcript = HelloTranscript(helloDigest, h.freshness, h.ephemeral,
                                                m.transactionId, m.destination, m.source);
        if (!crypto::Ed25519Verify(h.agentKey, transcript.data(), transcript.size(),
                                   h.signature)) {
          ++counters_.unverified;
          return false;
        }
        hello = h;
        return true;
      },
      workId);
  if (helloOutcome != Outcome::Replied) return {helloOutcome, 0};

  // The key decides whether the request may go out at all.
  seen_.Remember(destination, hello.agentKey);
  switch (DecideAfterHello(Pinned(destination), hello.agentKey, prompting_)) {
    case AfterHello::RefuseChanged: return refuse(Status::HostKeyChanged);
    case AfterHello::RefuseNotTrusted: return refuse(Status::HostKeyNotTrusted);
    case AfterHello::PinFirstUse:
      // Trust on first use; a pin that cannot be written leaves the next request to ask again.
      if (store_->Pin(destination, seen_.HostName(destination), hello.agentKey) ==
          TrustStore::PinResult::Unreadable)
        return refuse(Status::TrustStoreUnreadable);
      break;
    case AfterHello::Go: break;
  }

  // Round trip 2: the request sealed under keys only the two ephemerals give.
  crypto::Key ephemeralPrivate{}, ephemeralPublic{}, shared{};
  ChannelKeys keys;
  const bool agreed =
      crypto::X25519KeyPair(ephemeralPrivate, ephemeralPublic) &&
      crypto::X25519(ephemeralPrivate, hello.ephemeral, shared) &&
      DeriveChannelKeys(shared, helloDigest, hello.freshness, hello.ephemeral, ephemeralPublic,
                        hello.agentKey, console, destination, keys);
  crypto::Wipe(ephemeralPrivate);
  crypto::Wipe(shared);
  if (!agreed) {
    keys.Wipe();
    return {Outcome::TimedOut, 0};
  }
  const auto now = Clock::now();
  const auto remaining = std::chrono::duration_cast<std::chrono::milliseconds>(
      deadline > now ? deadline - now : Clock::duration::zero());
  Result result;
  result.outcome = core.Run(
      ClientCore::Mode::Unicast, adapter, destination,
      [&](uint32_t transactionId, ClientCore::Outgoing& out) {
        std::vector<uint8_t> inner, sealed;
        if (!InnerRequest(request, length, transactionId, inner)) return false;
        out.version = kSecureEnvelopeVersion;
        out.flags = SecureFlags(SecureKind::Sealed, false);
        const bool ok = SealInner(keys.toAgent, out.flags, transactionId, destination, console,
                                  inner.data(), inner.size(), sealed);
        crypto::Wipe(inner.data(), inner.size());
        if (!ok) return false;
        out.bytes.assign(ephemeralPublic.begin(), ephemeralPublic.end());
        out.bytes.insert(out.bytes.end(), hello.freshness.begin(), hello.freshness.end());
        out.bytes.insert(out.bytes.end(), sealed.begin(), sealed.end());
        ++counters_.sealedSent;
        return true;
      },
      {std::max(remaining, ClientCore::kMinimumWindow), timing.retries},
      [&](Message& m) {
        if (m.source != destination || m.version != kSecureEnvelopeVersion ||
            m.flags != SecureFlags(SecureKind::Sealed, true)) {
          ++counters_.unverified;
          return false;
        }
        std::vector<uint8_t> plain;
        if (!OpenInner(keys.toConsole, m.flags, m.transactionId, console, destination,
                       m.bytes.data(), m.bytes.size(), plain)) {
          ++counters_.badTag;
          return false;
        }
        reply = std::move(plain);
        return true;
      },
      workId);
  keys.Wipe();
  return result;
}

KeyState SecureClient::HostKey(const Mac& agent, std::string* fingerprint,
                               std::string* pinnedFingerprint) {
  const bool readable = store_->Load();
  const KnownKeys known = Known(agent);
  if (fingerprint) *fingerprint = known.seen ? FormatFingerprint(*known.seen) : std::string();
  if (pinnedFingerprint)
    *pinnedFingerprint = known.pinned ? FormatFingerprint(*known.pinned) : std::string();
  if (!readable) return KeyState::Unreadable;
  return HostKeyState(known);
}

TrustResult SecureClient::Trust(const Mac& agent, const std::string& hostName,
                                const std::string& shownFingerprint) {
  const auto seen = seen_.Key(agent);
  if (!seen) return TrustResult::NoKeySeen;
  // The user answered for the fingerprint on the screen; a key that a reply brought in the
  // meantime (another station under this MAC, say) was never shown.
  if (FormatFingerprint(*seen) != shownFingerprint) return TrustResult::ChangedSinceShown;
  switch (store_->Pin(agent, hostName, *seen)) {
    case TrustStore::PinResult::Pinned: return TrustResult::Pinned;
    case TrustStore::PinResult::Unreadable: return TrustResult::StoreUnreadable;
    case TrustStore::PinResult::NotWritten: break;
  }
  return TrustResult::NotWritten;
}

bool SecureClient::Trust(const Mac& agent, const std::string& hostName) {
  const auto seen = seen_.Key(agent);
  return seen && store_->Pin(agent, hostName, *seen) == TrustStore::PinResult::Pinned;
}

}  // namespace tavi
