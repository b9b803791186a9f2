// The authenticated channel over the in-memory segment, played from the attacker's side:
// forged and impostor replies, altered, replayed and downgraded frames, and a flood of
// hellos. A tap on the segment records every frame and lets the attacker inject its own
// (from the test thread: the segment calls the tap under its lock).
#include <gtest/gtest.h>

#include <algorithm>
#include <condition_variable>
#include <cstdio>
#include <future>
#include <map>
#include <set>
#include <optional>

#include "protocol/byte_order.h"
#include "transport/core/client_core.h"
#include "transport/core/secure_client.h"
#include "transport/core/secure_server.h"
#include "wire_helpers.h"

namespace tavi {
namespace {

using namespace std::chrono_literals;
using test::FakeAgent;
using test::MakeRequest;
using test::TestMac;

const Mac kConsole = TestMac(0xC0, 0x06);
const Mac kAgent = TestMac(0xA0);
const Mac kAttacker = TestMac(0xEE, 0x0A);

struct Frame {
  std::vector<uint8_t> bytes;
  Fragment f;
  bool Is(SecureKind kind, bool reply) const {
    return f.version == kSecureEnvelopeVersion && KindOf(f.flags) == kind &&
           ((f.flags & EnvelopeFlag::Reply) != 0) == reply;
  }
};

// Records every frame on the segment; `fate` may drop some of them.
class Tap {
 public:
  std::function<FrameFate(const Frame&)> fate;

  FrameFate operator()(const uint8_t* data, std::size_t length) {
    Frame frame;
    frame.bytes.assign(data, data + length);
    if (ParseFragment(frame.bytes.data(), frame.bytes.size(), frame.f) != FrameVerdict::Accepted)
      return FrameFate::Deliver;
    frame.f.payload = nullptr;
    std::lock_guard<std::mutex> lock(mutex_);
    frames_.push_back(frame);
    wake_.notify_all();
    return fate ? fate(frame) : FrameFate::Deliver;
  }
  std::optional<Frame> WaitFor(const std::function<bool(const Frame&)>& match,
                               std::chrono::milliseconds wait = 2000ms) {
    std::unique_lock<std::mutex> lock(mutex_);
    std::optional<Frame> found;
    wake_.wait_for(lock, wait, [&] {
      for (const auto& f : frames_)
        if (match(f)) {
          found = f;
          return true;
        }
      return false;
    });
    return found;
  }
  std::vector<Frame> All(const std::function<bool(const Frame&)>& match) {
    std::lock_guard<std::mutex> lock(mutex_);
    std::vector<Frame> out;
    for (const auto& f : frames_)
      if (match(f)) out.push_back(f);
    return out;
  }

 private:
  std::mutex mutex_;
  std::condition_variable wake_;
  std::vector<Frame> frames_;
};

Identity NewIdentity() {
  Identity id;
  EXPECT_TRUE(GenerateIdentity(id));
  return id;
}

std::vector<uint8_t> Payload(const Frame& frame) {
  const uint8_t* p = frame.bytes.data() + kEthernetHeaderLength + kEnvelopeHeaderLength;
  return std::vector<uint8_t>(p, p + frame.f.payloadLength);
}

class Channel : public ::testing::Test {
 protected:
  void SetUp() override {
    segment.SetImpairment([this](const uint8_t* f, std::size_t n) { return tap(f, n); });
    std::vector<std::unique_ptr<Link>> links;
    links.push_back(segment.Attach(kConsole));
    client = std::make_unique<ClientCore>(std::move(links));
    attacker = segment.Attach(kAttacker);
    attacker->Start([](const uint8_t*, std::size_t) {});
  }
  void TearDown() override {
    attacker->Stop();
    client->Shutdown();
    agents.clear();
  }
  FakeAgent& StartAgent(const Identity& id, const Mac& mac = kAgent,
                        SecureServer::Limits limits = {}) {
    auto server = std::make_shared<SecureServer>(id, limits);
    channels.push_back(server);
    agents.push_back(std::make_unique<FakeAgent>(segment, std::vector<Mac>{mac}, server, 200));
    return *agents.back();
  }
  std::vector<Message> Discover(std::chrono::milliseconds window = 500ms) {
    std::vector<Message> found;
    auto request = MakeRequest(1, kBroadcastMac);
    secure.Discover(*client, 0, request.data(), request.size(), {window, 0},
                    [&](const Message& m) { found.push_back(m); });
    return found;
  }
  SecureClient::Result Request(uint32_t code, std::vector<uint8_t>& reply,
                               ExchangeTiming timing = {3000ms, 3}, const Mac& to = kAgent) {
    auto request = MakeRequest(code, to, 84);
    if (code != 1 && code != 6 && code != 9) {
      // A recognisable credential, to look for on the wire.
      std::memcpy(request.data() + 24, "operator", 8);
      std::memcpy(request.data() + 60, "Sesame-0042", 11);
    }
    return secure.Exchange(*client, 0, to, request.data(), request.size(), timing, reply);
  }
  void Inject(std::vector<uint8_t> frame) { attacker->Send(frame.data(), frame.size()); }

  Tap tap;
  MemorySegment segment;
  std::unique_ptr<ClientCore> client;
  std::unique_ptr<Link> attacker;
  std::vector<std::shared_ptr<SecureServer>> channels;
  std::vector<std::unique_ptr<FakeAgent>> agents;
  SecureClient secure{std::make_shared<TrustStore>(std::string())};
};

TEST_F(Channel, SignedRepliesAndASealedRequestGetThroughAndNoCredentialIsReadable) {
  const Identity id = NewIdentity();
  FakeAgent& agent = StartAgent(id);
  ASSERT_EQ(Discover().size(), 1u);
  std::string seen;
  EXPECT_EQ(secure.HostKey(kAgent, &seen, nullptr), KeyState::Unknown);
  EXPECT_EQ(seen, FormatFingerprint(id.publicKey));

  std::vector<uint8_t> reply;
  ASSERT_EQ(Request(9, reply).outcome, Outcome::Replied);
  EXPECT_EQ(reply.size(), 200u);
  ASSERT_EQ(Request(2, reply).outcome, Outcome::Replied);
  ASSERT_EQ(reply.size(), 200u);
  EXPECT_EQ(LoadU32(reply.data() + 12), 2u);
  for (std::size_t i = 27; i < reply.size(); ++i) ASSERT_EQ(reply[i], static_cast<uint8_t>(i));
  EXPECT_EQ(secure.HostKey(kAgent, nullptr, nullptr), KeyState::Trusted) << "pinned on first use";

  ASSERT_EQ(agent.executed(), 3);
  const auto executed = agent.executedRequests();
  EXPECT_EQ(std::memcmp(executed[2].data() + 60, "Sesame-0042", 11), 0);
  for (const auto& frame : tap.All([](const Frame&) { return true; })) {
    const std::string text(frame.bytes.begin(), frame.bytes.end());
    EXPECT_EQ(text.find("Sesame"), std::string::npos);
    EXPECT_EQ(text.find("operator"), std::string::npos);
  }
}

TEST_F(Channel, ForgedDiscoveryRepliesWithARealMacAreNotListed) {
  const Identity genuine = NewIdentity();
  const Identity forger = NewIdentity();
  StartAgent(genuine);
  ASSERT_EQ(Discover().size(), 1u);
  ASSERT_TRUE(secure.Trust(kAgent, "SERVER01"));

  // The attacker answers every broadcast at once, as the agent, twice: with the genuine key
  // and a made-up signature, and with a key of its own correctly signed.
  std::atomic<bool> stop{false};
  std::thread forge([&] {
    std::set<uint32_t> answered;
    while (!stop) {
      auto b = tap.WaitFor([&](const Frame& f) {
        return f.Is(SecureKind::Signed, false) && IsBroadcast(f.f.destination) &&
               answered.count(f.f.transactionId) == 0;
      }, 50ms);
      if (!b) continue;
      answered.insert(b->f.transactionId);
      SignedRequest request;
      const auto message = Payload(*b);
      ASSERT_TRUE(ParseSignedRequest(message, request));
      std::vector<uint8_t> record(200, 0x66);
      std::memcpy(record.data(), request.request, 24);
      std::memcpy(record.data() + 4, kAgent.data(), 6);
      std::memcpy(record.data() + 27, "EVIL", 5);
      for (const Identity* key : {&genuine, &forger}) {
        const auto t = SignedReplyTranscript(RequestDigest(b->f.flags, message.data(), message.size()),
                                             b->f.transactionId, kConsole, kAgent, record.data(),
                                             record.size());
        crypto::Signature sig{};
        ASSERT_TRUE(crypto::Ed25519Sign(forger.seed, forger.publicKey, t.data(), t.size(), sig));
        std::vector<uint8_t> forged = record;
        forged.insert(forged.end(), key->publicKey.begin(), key->publicKey.end());
        forged.insert(forged.end(), sig.begin(), sig.end());
        for (auto& f : BuildFrames(kConsole, kAgent, SecureFlags(SecureKind::Signed, true),
                                   b->f.transactionId, forged.data(), forged.size(), kSecureEnvelopeVersion))
          Inject(f);
      }
    }
  });
  const auto found = Discover();
  stop = true;
  forge.join();
  ASSERT_EQ(found.size(), 1u);
  EXPECT_EQ(found[0].bytes[27], 27) << "the genuine record, not the forged one";
  EXPECT_EQ(secure.HostKey(kAgent, nullptr, nullptr), KeyState::Trusted);
  EXPECT_GE(secure.counters().unverified, 1u);
  EXPECT_GE(secure.counters().impostors, 1u);
}

// Answers the next discovery broadcast (not one of `earlier`) at once from each of `macs`, as
// well-formed signed replies that carry `key` but a signature nobody made.
void ForgeDiscoveryReplies(Tap& tap, Link& attacker, const std::vector<Mac>& macs,
                           const crypto::Key& key, const std::set<uint32_t>& earlier = {}) {
  auto b = tap.WaitFor([&](const Frame& f) {
    return f.Is(SecureKind::Signed, false) && IsBroadcast(f.f.destination) &&
           earlier.count(f.f.transactionId) == 0;
  });
  ASSERT_TRUE(b);
  SignedRequest request;
  const auto message = Payload(*b);
  ASSERT_TRUE(ParseSignedRequest(message, request));
  for (const Mac& mac : macs) {
    std::vector<uint8_t> forged(200, 0x66);
    std::memcpy(forged.data(), request.request, 24);
    forged.insert(forged.end(), key.begin(), key.end());
    forged.insert(forged.end(), 64, 0x5A);
    for (auto& f : BuildFrames(kConsole, mac, SecureFlags(SecureKind::Signed, true),
                               b->f.transactionId, forged.data(), forged.size(), kSecureEnvelopeVersion))
      attacker.Send(f.data(), f.size());
  }
}

std::vector<Mac> Macs(int first, int count, uint8_t vendor = 0x02) {
  std::vector<Mac> macs;
  for (int i = 0; i < count; ++i) macs.push_back(TestMac(static_cast<uint16_t>(first + i), vendor));
  return macs;
}

TEST_F(Channel, ManySignedRepliesWithForgeriesAmongThemListEveryGenuineHostOnce) {
  secure.SetVerifyWorkers(4);  // more workers than cores: the listing must not care
  // 160 hosts of one adapter each, under four keys; a window long enough for 160 signatures
  // and their checks under ASan on a loaded machine.
  std::set<Mac> genuine;
  for (int group = 0; group < 4; ++group) {
    const Identity id = NewIdentity();
    for (const Mac& mac : Macs(0x100 + group * 0x40, 40)) {
      StartAgent(id, mac);
      genuine.insert(mac);
    }
  }
  // Forgeries from invented MACs, and from real ones before their agent answers.
  const Identity other = NewIdentity();
  auto forgedMacs = Macs(0x900, 20, 0x0E);
  forgedMacs.push_back(TestMac(0x100));
  forgedMacs.push_back(TestMac(0x1A0));
  std::thread forge([&] { ForgeDiscoveryReplies(tap, *attacker, forgedMacs, other.publicKey); });

  const auto caller = std::this_thread::get_id();
  std::atomic<int> inside{0};
  std::map<Mac, int> listed;
  auto request = MakeRequest(1, kBroadcastMac);
  const Outcome outcome = secure.Discover(*client, 0, request.data(), request.size(), {3000ms, 0},
                                          [&](const Message& m) {
    EXPECT_EQ(std::this_thread::get_id(), caller) << "listed on the discovering thread";
    EXPECT_EQ(++inside, 1) << "one at a time";
    ++listed[m.source];
    EXPECT_EQ(m.bytes.size(), 200u);
    --inside;
  });
  forge.join();
  EXPECT_EQ(outcome, Outcome::TimedOut);
  ASSERT_EQ(listed.size(), genuine.size());
  for (const auto& entry : listed) {
    EXPECT_EQ(genuine.count(entry.first), 1u);
    EXPECT_EQ(entry.second, 1);
  }
  // Every invented MAC checked and refused; a forgery for a real MAC is checked only while
  // that MAC is not listed yet.
  EXPECT_GE(secure.counters().unverified, 20u);
  EXPECT_LE(secure.counters().unverified, 22u);
  EXPECT_EQ(secure.counters().unchecked, 0u);
  EXPECT_EQ(secure.counters().impostors, 0u);
}

// Agent keys that are curve points a careless check trips over (libgcrypt 1.10 aborted the
// whole process on the first): small x, small y, small order, non-canonical, no point at all.
// From invented MACs and from a real one, during a discovery: the console goes on and lists
// exactly the real hosts.
TEST_F(Channel, CraftedAgentKeysInDiscoveryRepliesEndNothingAndHideNoRealHost) {
  const Identity id = NewIdentity();
  const auto real = Macs(0x100, 3);
  for (const Mac& mac : real) StartAgent(id, mac);
  const char* hostile[] = {
      "ecffffffffffffffffffffffffffffffffffffffffffffffffffffffffffff7f",
      "3126711e11ef574692935381d2cd2bbab5dd113c4010f91fd7c4dd7b12bf431a",
      "0300000000000000000000000000000000000000000000000000000000000000",
      "c7176a703d4dd84fba3c0b760d10670f2a2053fa2c39ccc64ec7fd7792ac037a",
      "eeffffffffffffffffffffffffffffffffffffffffffffffffffffffffffff7f",
      "0200000000000000000000000000000000000000000000000000000000000000"};
  std::thread forge([&] {
    int next = 0x900;
    for (const char* hex : hostile) {
      crypto::Key key{};
      for (std::size_t i = 0; i < key.size(); ++i)
        key[i] = static_cast<uint8_t>(std::stoi(std::string(hex + 2 * i, 2), nullptr, 16));
      auto macs = Macs(next, 2, 0x0E);
      macs.push_back(real[0]);
      next += 2;
      ForgeDiscoveryReplies(tap, *attacker, macs, key);
    }
  });
  std::set<Mac> listed;
  for (const auto& m : Discover(1000ms)) listed.insert(m.source);
  forge.join();
  EXPECT_EQ(listed, std::set<Mac>(real.begin(), real.end()));
  EXPECT_GE(secure.counters().unverified, 12u) << "every crafted reply from an invented MAC checked";

  // The channel still works after them.
  std::vector<uint8_t> reply;
  EXPECT_EQ(Request(9, reply, {3000ms, 3}, real[1]).outcome, Outcome::Replied);
}

TEST_F(Channel, FloodOfUnverifiableRepliesStopsAtTheHostLimitHoldingNoMoreThanIt) {
  const Identity id = NewIdentity();
  for (const Mac& mac : Macs(0x100, 30)) StartAgent(id, mac);
  const Identity other = NewIdentity();
  std::thread forge(
      [&] { ForgeDiscoveryReplies(tap, *attacker, Macs(0x1000, 2000, 0x0E), other.publicKey); });
  std::set<Mac> listed;
  auto request = MakeRequest(1, kBroadcastMac);
  // The flood answers the first broadcast only; what it crowds out of the first round the
  // repeated broadcasts bring in.
  const Outcome outcome = secure.Discover(*client, 0, request.data(), request.size(), {6000ms, 4},
                                          [&](const Message& m) { listed.insert(m.source); },
                                          0, 20);
  forge.join();
  EXPECT_EQ(outcome, Outcome::HostLimit);
  EXPECT_EQ(listed.size(), 20u);
  for (const Mac& mac : listed) EXPECT_EQ(mac[0], 0x02) << "only genuine hosts";
  // At most 20 replies wait for a check at any time: the rest of the flood is dropped
  // unchecked (or after the limit, unmatched), never queued without bound.
  EXPECT_GT(secure.counters().unverified, 0u);
  EXPECT_GT(secure.counters().unchecked + client->counters().drops.unmatched, 0u);
  EXPECT_LT(secure.counters().verifications, 2000u + 30u);
}

// The flood answers first, from thousands of invented MACs, and fills every place the other
// lane has; the pinned hosts still get their checks in the same round and are all listed.
TEST_F(Channel, PinnedHostsAreListedInTheRoundAFloodOfUnverifiableRepliesFills) {
  const Identity id = NewIdentity();
  const auto hosts = Macs(0x100, 5);
  for (const Mac& mac : hosts) StartAgent(id, mac);
  ASSERT_EQ(Discover().size(), hosts.size());
  for (const Mac& mac : hosts) ASSERT_TRUE(secure.Trust(mac, "PINNED"));
  std::set<uint32_t> earlier;
  for (const auto& f : tap.All([](const Frame& f) { return f.Is(SecureKind::Signed, false); }))
    earlier.insert(f.f.transactionId);
  const Identity other = NewIdentity();
  std::thread forge([&] {
    ForgeDiscoveryReplies(tap, *attacker, Macs(0x1000, 2000, 0x0E), other.publicKey, earlier);
  });
  std::set<Mac> listed;
  auto request = MakeRequest(1, kBroadcastMac);
  // One broadcast, no repeat: what the flood crowds out of this round stays out.
  const Outcome outcome = secure.Discover(*client, 0, request.data(), request.size(), {1500ms, 0},
                                          [&](const Message& m) { listed.insert(m.source); },
                                          0, 20);
  forge.join();
  EXPECT_EQ(outcome, Outcome::TimedOut);
  EXPECT_EQ(listed, std::set<Mac>(hosts.begin(), hosts.end()));
  EXPECT_GT(secure.counters().unchecked, 0u);
  EXPECT_EQ(secure.LastUnchecked(), secure.counters().unchecked.load()) << "said, with its count";
  EXPECT_EQ(secure.counters().missingRefreshes, 0u) << "none was missing";
}

// A pinned host whose discovery replies are all lost is asked once more by a unicast
// Refresh at the end, and listed from its answer as a discovery reply.
TEST_F(Channel, APinnedHostMissingAtTheEndIsAskedOnceMoreDirectly) {
  StartAgent(NewIdentity());
  ASSERT_EQ(Discover().size(), 1u);
  ASSERT_TRUE(secure.Trust(kAgent, "SERVER01"));
  std::atomic<uint32_t> broadcastId{0};
  tap.fate = [&](const Frame& f) {
    if (f.Is(SecureKind::Signed, false) && IsBroadcast(f.f.destination))
      broadcastId = f.f.transactionId;
    return f.Is(SecureKind::Signed, true) && f.f.transactionId == broadcastId ? FrameFate::Drop
                                                                             : FrameFate::Deliver;
  };
  const auto found = Discover();
  ASSERT_EQ(found.size(), 1u);
  EXPECT_EQ(found[0].source, kAgent);
  EXPECT_EQ(LoadU32(found[0].bytes.data() + 12), 1u) << "listed as a discovery reply";
  EXPECT_EQ(secure.counters().missingRefreshes, 1u);
  const auto refreshes = tap.All([](const Frame& f) {
    return f.Is(SecureKind::Signed, false) && f.f.destination == kAgent;
  });
  ASSERT_EQ(refreshes.size(), 1u);
  EXPECT_NE(refreshes[0].f.transactionId, broadcastId.load()) << "an id of its own";

  // Gone for good: asked, not listed, and the discovery still ends.
  agents.clear();
  EXPECT_TRUE(Discover().empty());
  EXPECT_EQ(secure.counters().missingRefreshes, 2u);
}

TEST_F(Channel, CancelMidDiscoveryEndsItAndNothingIsListedAfterItReturns) {
  const Identity id = NewIdentity();
  for (const Mac& mac : Macs(0x100, 120)) StartAgent(id, mac);
  const uint64_t work = client->NewWorkId();
  std::atomic<bool> returned{false};
  std::atomic<int> listed{0}, afterwards{0};
  auto request = MakeRequest(1, kBroadcastMac);
  const Outcome outcome = secure.Discover(*client, 0, request.data(), request.size(), {20000ms, 3},
                                          [&](const Message&) {
    if (returned) ++afterwards;
    if (++listed == 10) client->Cancel(work);
  }, work);
  returned = true;
  EXPECT_EQ(outcome, Outcome::Cancelled) << "the 20 s window ran out";
  EXPECT_GE(listed.load(), 10);
  EXPECT_LT(listed.load(), 120);
  std::this_thread::sleep_for(300ms);  // the rest of the agents' replies arrive meanwhile
  EXPECT_EQ(afterwards.load(), 0);
}

// Replies that all verify (a station signing for invented MACs) while listing each is slow,
// as a console's window is under Wine: the discovery still ends with its window instead of
// listing the whole flood first.
TEST_F(Channel, SlowListingOfAFloodThatVerifiesEndsWithTheWindow) {
  const Identity id = NewIdentity();
  for (const Mac& mac : Macs(0x100, 120, 0x0E)) StartAgent(id, mac);
  int listed = 0;
  auto request = MakeRequest(1, kBroadcastMac);
  const Outcome outcome = secure.Discover(*client, 0, request.data(), request.size(), {500ms, 0},
                                          [&](const Message&) {
    ++listed;
    std::this_thread::sleep_for(40ms);  // 120 of these: 4.8 s
  });
  EXPECT_EQ(outcome, Outcome::TimedOut);
  EXPECT_GT(listed, 0);
  EXPECT_LT(listed, 120) << "the whole flood was listed";
}

// Discovery after discovery, each answered from MACs never seen before: the keys and names
// kept per MAC stay within their limit, and every host of the latest one is still known.
TEST_F(Channel, InventedMacsOverManyDiscoveriesKeepTheSeenKeysBounded) {
  secure.SetSeenLimit(20);
  const Identity id = NewIdentity();
  for (int round = 0; round < 5; ++round) {
    agents.clear();
    const auto macs = Macs(0x100 + round * 0x10, 10, 0x0E);
    for (const Mac& mac : macs) StartAgent(id, mac);
    EXPECT_EQ(Discover().size(), macs.size()) << "round " << round;
    EXPECT_LE(secure.SeenCount(), 20u) << "round " << round;
    for (const Mac& mac : macs)
      EXPECT_NE(secure.HostKey(mac, nullptr, nullptr), KeyState::None) << "round " << round;
  }
  // The oldest round is forgotten: its MACs are unknown again, not wrongly remembered.
  EXPECT_EQ(secure.HostKey(Macs(0x100, 1, 0x0E)[0], nullptr, nullptr), KeyState::None);
}

TEST_F(Channel, ForgedRefreshReplyIsDroppedAndTheGenuineOneTaken) {
  const Identity genuine = NewIdentity();
  const Identity forger = NewIdentity();
  StartAgent(genuine);
  ASSERT_EQ(Discover().size(), 1u);
  // The genuine reply is lost until the attacker's, signed with its own key (and so told
  // apart here), is through; the retransmission then brings the genuine one.
  std::atomic<bool> forgeryIn{false};
  tap.fate = [&](const Frame& f) {
    if (!f.Is(SecureKind::Signed, true) || f.f.source != kAgent || forgeryIn)
      return FrameFate::Deliver;
    const auto& key = forger.publicKey;
    if (std::search(f.bytes.begin(), f.bytes.end(), key.begin(), key.end()) == f.bytes.end())
      return FrameFate::Drop;
    forgeryIn = true;
    return FrameFate::Deliver;
  };
  std::thread forge([&] {
    auto r = tap.WaitFor([](const Frame& f) {
      return f.Is(SecureKind::Signed, false) && f.f.destination == kAgent;
    });
    ASSERT_TRUE(r);
    SignedRequest request;
    const auto message = Payload(*r);
    ASSERT_TRUE(ParseSignedRequest(message, request));
    std::vector<uint8_t> record(200, 0x66);
    std::memcpy(record.data(), request.request, 24);
    const auto t = SignedReplyTranscript(RequestDigest(r->f.flags, message.data(), message.size()),
                                         r->f.transactionId, kConsole, kAgent, record.data(),
                                         record.size());
    crypto::Signature sig{};
    ASSERT_TRUE(crypto::Ed25519Sign(forger.seed, forger.publicKey, t.data(), t.size(), sig));
    record.insert(record.end(), forger.publicKey.begin(), forger.publicKey.end());
    record.insert(record.end(), sig.begin(), sig.end());
    for (auto& f : BuildFrames(kConsole, kAgent, SecureFlags(SecureKind::Signed, true),
                               r->f.transactionId, record.data(), record.size(), kSecureEnvelopeVersion))
      Inject(f);
  });
  std::vector<uint8_t> reply;
  const auto result = Request(9, reply);
  forge.join();
  ASSERT_EQ(result.outcome, Outcome::Replied);
  EXPECT_EQ(reply[27], 27) << "the genuine record";
  EXPECT_EQ(secure.counters().impostors, 1u);
}

TEST_F(Channel, ImpostorWithItsOwnKeyForAPinnedMacReceivesNoSealedRequest) {
  const Identity genuine = NewIdentity();
  StartAgent(genuine);
  ASSERT_EQ(Discover().size(), 1u);
  std::vector<uint8_t> reply;
  ASSERT_EQ(Request(3, reply).outcome, Outcome::Replied);  // pinned on first use
  agents.clear();

  FakeAgent& impostor = StartAgent(NewIdentity());
  const std::size_t sealedBefore =
      tap.All([](const Frame& f) { return f.Is(SecureKind::Sealed, false); }).size();
  // Without a fresh discovery the hello shows the new key; after one, nothing leaves at all.
  EXPECT_EQ(Request(2, reply).refusal, Status::HostKeyChanged);
  EXPECT_EQ(secure.HostKey(kAgent, nullptr, nullptr), KeyState::Changed);
  const std::size_t framesBefore = tap.All([](const Frame&) { return true; }).size();
  EXPECT_EQ(Request(7, reply).refusal, Status::HostKeyChanged);
  EXPECT_EQ(tap.All([](const Frame&) { return true; }).size(), framesBefore);
  EXPECT_EQ(tap.All([](const Frame& f) { return f.Is(SecureKind::Sealed, false); }).size(),
            sealedBefore);
  EXPECT_EQ(impostor.executed(), 0);

  // The administrator deliberately replaces the pinned key: then requests go through.
  ASSERT_TRUE(secure.Trust(kAgent, "SERVER01"));
  EXPECT_EQ(Request(2, reply).outcome, Outcome::Replied);
  EXPECT_EQ(impostor.executed(), 1);
}

TEST_F(Channel, PromptingRefusesAnUnknownKeyUntilTheProgramTrustsIt) {
  secure.SetPrompting(true);
  FakeAgent& agent = StartAgent(NewIdentity());
  std::vector<uint8_t> reply;
  // Never seen: the hello (no secrets) learns the key, then the request is refused.
  EXPECT_EQ(Request(5, reply).refusal, Status::HostKeyNotTrusted);
  EXPECT_EQ(secure.HostKey(kAgent, nullptr, nullptr), KeyState::Unknown);
  EXPECT_TRUE(tap.All([](const Frame& f) { return f.Is(SecureKind::Sealed, false); }).empty());
  EXPECT_EQ(agent.executed(), 0);
  ASSERT_TRUE(secure.Trust(kAgent, "SERVER01"));
  EXPECT_EQ(Request(5, reply).refusal, 0);
  EXPECT_EQ(agent.executed(), 1);
}

TEST_F(Channel, FlippedBitsAreDroppedCountedAndNeverExecutedAltered) {
  FakeAgent& agent = StartAgent(NewIdentity());
  // The first sealed request and the first sealed reply are swallowed; the attacker sends
  // copies with one bit flipped instead. The retransmissions then get through unaltered.
  std::atomic<int> requests{0}, replies{0};
  tap.fate = [&](const Frame& f) {
    if (f.Is(SecureKind::Sealed, false) && requests++ == 0) return FrameFate::Drop;
    if (f.Is(SecureKind::Sealed, true) && replies++ == 0) return FrameFate::Drop;
    return FrameFate::Deliver;
  };
  std::thread flipper([&] {
    for (bool reply : {false, true}) {
      auto original = tap.WaitFor([&](const Frame& f) { return f.Is(SecureKind::Sealed, reply); });
      ASSERT_TRUE(original);
      auto bytes = original->bytes;
      bytes[kEthernetHeaderLength + kEnvelopeHeaderLength + 60] ^= 0x08;
      Inject(bytes);
    }
  });
  std::vector<uint8_t> reply;
  const auto result = Request(2, reply, {5000ms, 3});
  flipper.join();
  ASSERT_EQ(result.outcome, Outcome::Replied);
  EXPECT_EQ(agent.executed(), 1);
  EXPECT_EQ(std::memcmp(agent.executedRequests()[0].data() + 60, "Sesame-0042", 11), 0);
  EXPECT_EQ(channels[0]->counters().badTag, 1u);
  EXPECT_EQ(secure.counters().badTag, 1u);

  // Every copy altered: the request times out and nothing runs.
  tap.fate = [](const Frame& f) {
    return f.Is(SecureKind::Sealed, false) ? FrameFate::Drop : FrameFate::Deliver;
  };
  std::atomic<bool> stop{false};
  std::thread spoiler([&] {
    std::set<std::vector<uint8_t>> done;
    while (!stop) {
      for (const auto& f : tap.All([](const Frame& f) { return f.Is(SecureKind::Sealed, false); })) {
        if (!done.insert(f.bytes).second) continue;
        auto bytes = f.bytes;
        bytes[bytes.size() - 30] ^= 0x01;
        Inject(bytes);
      }
      std::this_thread::sleep_for(10ms);
    }
  });
  EXPECT_EQ(Request(2, reply, {1200ms, 2}).outcome, Outcome::TimedOut);
  stop = true;
  spoiler.join();
  EXPECT_EQ(agent.executed(), 1);
}

TEST_F(Channel, ReplayedFramesAreNeverExecutedAgainNowOrAfterTheLifetime) {
  auto now = std::make_shared<std::atomic<int64_t>>(0);
  const auto clock = [now] { return Clock::time_point(std::chrono::seconds(now->load())) + std::chrono::hours(1); };
  FakeAgent& agent = StartAgent(NewIdentity());
  channels[0]->SetClock(clock);
  agent.core().SetClock(clock);
  std::vector<uint8_t> reply;
  ASSERT_EQ(Request(2, reply).outcome, Outcome::Replied);
  ASSERT_EQ(agent.executed(), 1);
  const auto sealed = tap.All([](const Frame& f) { return f.Is(SecureKind::Sealed, false); });
  const auto hello = tap.All([](const Frame& f) { return f.Is(SecureKind::Hello, false); });
  ASSERT_EQ(sealed.size(), 1u);

  // A second later: the reply cache answers (the same sealed reply), nothing runs.
  *now += 1;
  for (const auto& f : sealed) Inject(f.bytes);
  for (const auto& f : hello) Inject(f.bytes);
  for (int i = 0; i < 300 && agent.core().counters().cacheResends == 0; ++i)
    std::this_thread::sleep_for(10ms);
  EXPECT_EQ(agent.core().counters().cacheResends, 1u);
  // An hour later (freshness lifetime and reply cache both past): dropped, nothing runs.
  *now += 3600;
  for (const auto& f : sealed) Inject(f.bytes);
  for (int i = 0; i < 300 && channels[0]->counters().unknownFreshness == 0; ++i)
    std::this_thread::sleep_for(10ms);
  EXPECT_EQ(channels[0]->counters().unknownFreshness, 1u);
  EXPECT_EQ(agent.executed(), 1);
}

// A station that hears the console's nonce has the agent answer another readable request
// under it and the console's id, while the genuine request never reaches the agent: the
// agent's reply is genuinely signed, but for a request the console did not send.
TEST_F(Channel, AReplyToAnotherRequestUnderTheConsolesNonceIsNotListed) {
  FakeAgent& agent = StartAgent(NewIdentity());
  std::mutex mutex;
  std::vector<uint8_t> forged;  // the one signed request let through
  tap.fate = [&](const Frame& f) {
    if (!f.Is(SecureKind::Signed, false)) return FrameFate::Deliver;
    std::lock_guard<std::mutex> lock(mutex);
    return f.bytes == forged ? FrameFate::Deliver : FrameFate::Drop;
  };
  struct Variant {
    const char* what;
    uint32_t code;
    uint32_t adapterIndex;
    bool broadcast;
  };
  std::set<uint32_t> answered;
  for (const Variant v : {Variant{"Discover naming another adapter", 1, 7, true},
                          Variant{"Refresh", 9, 0, false}, Variant{"Poll", 6, 0, false}}) {
    SCOPED_TRACE(v.what);
    const int executed = agent.executed();
    uint32_t id = 0;
    std::thread station([&] {
      auto b = tap.WaitFor([&](const Frame& f) {
        return f.Is(SecureKind::Signed, false) && IsBroadcast(f.f.destination) &&
               answered.count(f.f.transactionId) == 0;
      });
      ASSERT_TRUE(b);
      id = b->f.transactionId;
      answered.insert(id);
      const auto message = Payload(*b);
      SignedRequest request;
      ASSERT_TRUE(ParseSignedRequest(message, request));
      std::vector<uint8_t> other(request.request, request.request + request.length);
      StoreU32(other.data(), v.adapterIndex);
      StoreU32(other.data() + 12, v.code);
      other.insert(other.begin(), request.nonce.begin(), request.nonce.end());
      auto frames = BuildFrames(v.broadcast ? kBroadcastMac : kAgent, kConsole, b->f.flags, id,
                                other.data(), other.size(), kSecureEnvelopeVersion);
      ASSERT_EQ(frames.size(), 1u);
      {
        std::lock_guard<std::mutex> lock(mutex);
        forged = frames[0];
      }
      Inject(frames[0]);
    });
    const auto found = Discover(700ms);
    station.join();
    EXPECT_TRUE(found.empty());
    EXPECT_EQ(agent.executed(), executed + 1) << "the agent answered the other request";
    EXPECT_FALSE(tap.All([&](const Frame& f) {
                    return f.Is(SecureKind::Signed, true) && f.f.transactionId == id;
                  }).empty());
  }
  EXPECT_GE(secure.counters().unverified, 3u);
  EXPECT_EQ(secure.SeenCount(), 0u);
}

// Version 2 signed replies without the request they answer: neither side takes a frame of
// it, whatever its contents (here the genuine frames, relabelled).
TEST_F(Channel, TheFormerVersionIsRefusedBothWays) {
  FakeAgent& agent = StartAgent(NewIdentity());
  const auto relabel = [&](bool reply) {
    auto genuine = tap.WaitFor([&](const Frame& f) { return f.Is(SecureKind::Signed, reply); });
    ASSERT_TRUE(genuine);
    auto bytes = genuine->bytes;
    bytes[kEthernetHeaderLength] = 2;
    Inject(bytes);
  };
  // Console to agent: only the relabelled discovery arrives (the tap does not parse it, so
  // it passes).
  tap.fate = [](const Frame& f) {
    return f.Is(SecureKind::Signed, false) ? FrameFate::Drop : FrameFate::Deliver;
  };
  std::thread toAgent([&] { relabel(false); });
  EXPECT_TRUE(Discover().empty());
  toAgent.join();
  EXPECT_EQ(agent.executed(), 0);
  EXPECT_GE(agent.core().counters().drops.badVersion, 1u);

  // Agent to console: the genuine reply is swallowed, its relabelled copy delivered.
  tap.fate = [](const Frame& f) {
    return f.Is(SecureKind::Signed, true) ? FrameFate::Drop : FrameFate::Deliver;
  };
  std::thread toConsole([&] { relabel(true); });
  EXPECT_TRUE(Discover(700ms).empty());
  toConsole.join();
  EXPECT_EQ(agent.executed(), 1);
  EXPECT_GE(client->counters().drops.badVersion, 1u);
  EXPECT_EQ(secure.SeenCount(), 0u);
}

TEST_F(Channel, ClearAndReadableFormsOfCredentialRequestsAreRefused) {
  FakeAgent& agent = StartAgent(NewIdentity());
  // The old clear envelope, with credentials in it.
  std::vector<uint8_t> reply;
  auto request = MakeRequest(2, kAgent);
  EXPECT_EQ(client->Exchange(0, kAgent, request.data(), request.size(), {600ms, 1}, reply),
            Outcome::TimedOut);
  // The readable signed form, which would carry them in clear.
  std::vector<uint8_t> message(16, 0x01);
  message.insert(message.end(), request.begin(), request.end());
  for (auto& f : BuildFrames(kAgent, kConsole, SecureFlags(SecureKind::Signed, false), 77,
                             message.data(), message.size(), kSecureEnvelopeVersion))
    Inject(f);
  std::this_thread::sleep_for(200ms);
  EXPECT_EQ(agent.executed(), 0);
  EXPECT_GE(channels[0]->counters().refusedClear, 3u);  // two sends of the first, one of the second
}

TEST(SecureServer, FreshnessTableAndHelloRateStayBoundedUnderAFlood) {
  Identity id;
  ASSERT_TRUE(GenerateIdentity(id));
  SecureServer::Limits limits;
  limits.total = 64;
  limits.perConsole = 4;
  limits.hellosPerSecond = 50;
  limits.hellosPerSource = 1000;  // the global bound alone here
  SecureServer server(id, limits);
  int64_t ms = 0;
  server.SetClock([&] { return Clock::time_point(std::chrono::milliseconds(ms)); });
  Message hello;
  hello.version = kSecureEnvelopeVersion;
  hello.flags = SecureFlags(SecureKind::Hello, false);
  hello.bytes.assign(16, 0x11);
  std::vector<uint8_t> reply;
  // At one instant: the burst, then refusals.
  int answered = 0;
  for (int i = 0; i < 80; ++i) answered += server.AnswerHello(hello, kAgent, reply) ? 1 : 0;
  EXPECT_EQ(answered, 50);
  EXPECT_EQ(server.counters().hellosLimited, 30u);
  EXPECT_EQ(server.Outstanding(), 4u) << "one console holds at most four";
  // Many spoofed consoles over time: the table holds at most `total`.
  for (int i = 0; i < 1000; ++i) {
    ms += 20;
    hello.source = TestMac(static_cast<uint16_t>(i), 0x0E);
    server.AnswerHello(hello, kAgent, reply);
  }
  EXPECT_LE(server.Outstanding(), 64u);
  EXPECT_GT(server.counters().freshnessEvicted, 900u);
  ms += 31000;
  EXPECT_EQ(server.Outstanding(), 0u) << "all expired after the lifetime";
  // Malformed hellos are refused.
  hello.bytes.assign(17, 0);
  EXPECT_FALSE(server.AnswerHello(hello, kAgent, reply));
}

Message HelloFrom(const Mac& console) {
  Message hello;
  hello.version = kSecureEnvelopeVersion;
  hello.flags = SecureFlags(SecureKind::Hello, false);
  hello.source = console;
  hello.transactionId = 5;
  hello.bytes.assign(16, 0x33);
  return hello;
}

TEST(SecureServer, HellosAreLimitedPerSourceAndAProvenConsoleKeepsAShareUnderAFlood) {
  SecureServer::Limits limits;
  limits.hellosPerSecond = 50;
  limits.hellosPerSource = 10;
  limits.trustedHellosPerSecond = 20;
  SecureServer server(NewIdentity(), limits);
  int64_t ms = 1000;
  server.SetClock([&] { return Clock::time_point(std::chrono::milliseconds(ms)); });
  std::vector<uint8_t> reply;
  const auto answered = [&](const Mac& from, int times) {
    int n = 0;
    for (int i = 0; i < times; ++i) n += server.AnswerHello(HelloFrom(from), kAgent, reply) ? 1 : 0;
    return n;
  };
  EXPECT_EQ(answered(kAttacker, 100), 10) << "one source, its own bucket";
  int flood = 0;
  for (uint16_t i = 0; i < 200; ++i) flood += answered(TestMac(i, 0x0E), 1);
  EXPECT_EQ(flood, 40) << "invented sources, what the global cap leaves";
  EXPECT_EQ(answered(TestMac(0x77), 1), 0) << "an unproven console meets the flood's cap";
  server.NoteTrustedConsole(kConsole);
  EXPECT_EQ(answered(kConsole, 1), 1) << "a proven console draws on its share";
  // A second of flood at line rate: the proven console still gets its hellos.
  int proven = 0;
  for (int step = 0; step < 100; ++step) {
    ms += 10;
    for (uint16_t i = 0; i < 50; ++i) answered(TestMac(static_cast<uint16_t>(step * 50 + i), 0x0E), 1);
    proven += answered(kConsole, 1);
  }
  EXPECT_GE(proven, 10);
  ms += 601000;  // proven too long ago
  for (uint16_t i = 0; i < 100; ++i) answered(TestMac(i, 0x0E), 1);
  EXPECT_EQ(answered(kConsole, 1), 0);
}

// The attacker saw a hello and its freshness value: new console ephemerals under that value
// cost the agent a key agreement each only a few times; the genuine console's copy, altered
// once on the way, still opens when its retransmission comes.
TEST(SecureServer, AFreshnessValueBoundsTheEphemeralsTriedAndARetransmissionOpens) {
  const Identity id = NewIdentity();
  SecureServer::Limits limits;
  limits.ephemeralsPerFreshness = 3;
  SecureServer server(id, limits);
  const Message hello = HelloFrom(kConsole);
  std::vector<uint8_t> helloReply;
  ASSERT_TRUE(server.AnswerHello(hello, kAgent, helloReply));
  HelloReply h;
  ASSERT_TRUE(ParseHelloReply(helloReply, h));
  // The console's side, as SecureClient does it.
  crypto::Key ec{}, ecPub{}, shared{};
  ASSERT_TRUE(crypto::X25519KeyPair(ec, ecPub));
  ASSERT_TRUE(crypto::X25519(ec, h.ephemeral, shared));
  ChannelKeys keys;
  ASSERT_TRUE(DeriveChannelKeys(shared, RequestDigest(hello), h.freshness, h.ephemeral, ecPub,
                                h.agentKey, kConsole, kAgent, keys));
  auto request = MakeRequest(2, kAgent);
  const uint8_t flags = SecureFlags(SecureKind::Sealed, false);
  std::vector<uint8_t> inner;
  ASSERT_TRUE(SealInner(keys.toAgent, flags, 9, kAgent, kConsole, request.data(), request.size(), inner));
  const auto sealedMessage = [&](const crypto::Key& ephemeral, std::vector<uint8_t> body) {
    Message m;
    m.version = kSecureEnvelopeVersion;
    m.flags = flags;
    m.source = kConsole;
    m.transactionId = 9;
    m.bytes.assign(ephemeral.begin(), ephemeral.end());
    m.bytes.insert(m.bytes.end(), h.freshness.begin(), h.freshness.end());
    m.bytes.insert(m.bytes.end(), body.begin(), body.end());
    return m;
  };
  std::vector<uint8_t> opened;
  ReplySeal seal;
  auto altered = inner;
  altered[30] ^= 0x04;
  EXPECT_FALSE(server.Open(sealedMessage(ecPub, altered), kAgent, opened, seal));
  for (int i = 0; i < 5; ++i) {
    crypto::Key other{}, otherPub{};
    ASSERT_TRUE(crypto::X25519KeyPair(other, otherPub));
    EXPECT_FALSE(server.Open(sealedMessage(otherPub, inner), kAgent, opened, seal));
  }
  EXPECT_EQ(server.counters().ephemeralsRefused, 3u) << "two more tried, then refused";
  EXPECT_EQ(server.counters().badTag, 3u);
  ASSERT_TRUE(server.Open(sealedMessage(ecPub, inner), kAgent, opened, seal));
  EXPECT_EQ(opened, request);
  EXPECT_FALSE(server.Open(sealedMessage(ecPub, inner), kAgent, opened, seal)) << "spent";
  EXPECT_EQ(server.Outstanding(), 0u);
}

bool WaitUntil(const std::function<bool()>& condition) {
  for (int i = 0; i < 400 && !condition(); ++i) std::this_thread::sleep_for(5ms);
  return condition();
}

// The console's queue places are all taken (by frames under its MAC) when its sealed request
// comes: the request is dropped before it opens, so its freshness value stays for the
// retransmission that comes once there is room.
TEST_F(Channel, ASealedRequestThatFindsNoQueuePlaceKeepsItsFreshnessValue) {
  const Identity id = NewIdentity();
  auto server = std::make_shared<SecureServer>(id);
  ServerCore core;  // nobody receives: the queue only fills
  core.SetChannel(server);
  std::vector<std::unique_ptr<Link>> links;
  links.push_back(segment.Attach(kAgent));
  core.Open(std::move(links));
  const auto send = [&](uint8_t flags, uint32_t transactionId, const std::vector<uint8_t>& m) {
    for (auto& f : BuildFrames(kAgent, kConsole, flags, transactionId, m.data(), m.size(),
                               kSecureEnvelopeVersion))
      Inject(f);
  };
  for (uint32_t i = 0; i < ServerCore::kQueuePerSource; ++i) {
    std::vector<uint8_t> poll(16, static_cast<uint8_t>(i));
    const auto request = MakeRequest(6, kAgent);
    poll.insert(poll.end(), request.begin(), request.end());
    send(SecureFlags(SecureKind::Signed, false), 100 + i, poll);
  }
  const Message hello = HelloFrom(kConsole);
  send(hello.flags, hello.transactionId, hello.bytes);
  const auto helloReply = tap.WaitFor([](const Frame& f) { return f.Is(SecureKind::Hello, true); });
  ASSERT_TRUE(helloReply);
  HelloReply h;
  ASSERT_TRUE(ParseHelloReply(Payload(*helloReply), h));
  crypto::Key ec{}, ecPub{}, shared{};
  ASSERT_TRUE(crypto::X25519KeyPair(ec, ecPub));
  ASSERT_TRUE(crypto::X25519(ec, h.ephemeral, shared));
  ChannelKeys keys;
  ASSERT_TRUE(DeriveChannelKeys(shared, RequestDigest(hello), h.freshness, h.ephemeral, ecPub,
                                h.agentKey, kConsole, kAgent, keys));
  const auto request = MakeRequest(2, kAgent);
  const uint8_t flags = SecureFlags(SecureKind::Sealed, false);
  std::vector<uint8_t> sealed(ecPub.begin(), ecPub.end()), inner;
  sealed.insert(sealed.end(), h.freshness.begin(), h.freshness.end());
  ASSERT_TRUE(SealInner(keys.toAgent, flags, 7, kAgent, kConsole, request.data(), request.size(), inner));
  sealed.insert(sealed.end(), inner.begin(), inner.end());

  send(flags, 7, sealed);
  ASSERT_TRUE(WaitUntil([&] { return core.counters().drops.overflow >= 1; }));
  EXPECT_EQ(server->Outstanding(), 1u) << "not spent by a request that had no place";
  EXPECT_EQ(server->counters().unknownFreshness, 0u);

  uint8_t buffer[2048];
  std::size_t length = 0;
  for (uint32_t i = 0; i < ServerCore::kQueuePerSource; ++i)
    ASSERT_TRUE(core.Receive(buffer, sizeof buffer, length, 2000ms));
  send(flags, 7, sealed);  // the retransmission
  ASSERT_TRUE(core.Receive(buffer, sizeof buffer, length, 2000ms));
  EXPECT_EQ(std::vector<uint8_t>(buffer, buffer + length), request);
  EXPECT_EQ(server->Outstanding(), 0u);
  core.Close();
}

TEST_F(Channel, LegitimateRequestSucceedsRightAfterAHelloFlood) {
  SecureServer::Limits limits;
  limits.total = 16;
  FakeAgent& agent = StartAgent(NewIdentity(), kAgent, limits);
  std::vector<uint8_t> message(16, 0x22);
  for (uint16_t i = 0; i < 200; ++i) {
    auto frames = BuildFrames(kAgent, TestMac(i, 0x0E), SecureFlags(SecureKind::Hello, false), i,
                              message.data(), message.size(), kSecureEnvelopeVersion);
    Inject(frames[0]);
  }
  std::this_thread::sleep_for(300ms);
  EXPECT_LE(channels[0]->Outstanding(), 16u);
  std::vector<uint8_t> reply;
  EXPECT_EQ(Request(4, reply, {10000ms, 3}).outcome, Outcome::Replied);
  EXPECT_EQ(agent.executed(), 1);
}

}  // namespace
}  // namespace tavi
