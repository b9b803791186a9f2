// The transport core against a station that plays the attacker on the in-memory segment:
// replies from a station the request did not go to, replies with guessed ids, a flood of
// invented MACs during a discovery, and a flood that tries to push a console's pending
// retransmission out of the agent's reply cache.
#include <gtest/gtest.h>

#include <atomic>
#include <future>
#include <mutex>
#include <set>

#if defined(__GLIBC__)
#include <malloc.h>
#endif

#include "protocol/byte_order.h"
#include "transport/core/client_core.h"
#include "wire_helpers.h"

namespace tavi {
namespace {

using namespace std::chrono_literals;
using test::FakeAgent;
using test::MakeRequest;
using test::TestMac;

const Mac kConsole = TestMac(0xC0, 0x06);
const Mac kAgent = TestMac(0xA0);
const Mac kAttacker = TestMac(0xBAD, 0x0A);

// A reply as an attacker would forge it: the request's header, status 0, bytes 0xEE.
std::vector<uint8_t> ForgedReply(uint32_t code = 9) {
  auto reply = MakeRequest(code, kAttacker, 32);
  StoreU16(reply.data() + 10, 2);
  std::fill(reply.begin() + 27, reply.end(), 0xEE);
  return reply;
}

class Hostile : public ::testing::Test {
 protected:
  void SetUp() override {
    // The attacker hears every frame, like a station on a hub or a mirrored port.
    segment.SetImpairment([this](const uint8_t* frame, std::size_t length) {
      Fragment f;
      if (ParseFragment(frame, length, f) == FrameVerdict::Accepted &&
          !(f.flags & EnvelopeFlag::Reply)) {
        std::lock_guard<std::mutex> lock(mutex);
        seenIds.push_back(f.transactionId);
        seen.notify_all();
      }
      return FrameFate::Deliver;
    });
    attacker = segment.Attach(kAttacker);
    attacker->Start([](const uint8_t*, std::size_t) {});
  }
  void TearDown() override { attacker->Stop(); }
  void StartClient() {
    std::vector<std::unique_ptr<Link>> links;
    links.push_back(segment.Attach(kConsole));
    client = std::make_unique<ClientCore>(std::move(links));
  }
  // The id of the next request frame the attacker hears.
  uint32_t NextId(std::size_t already) {
    std::unique_lock<std::mutex> lock(mutex);
    seen.wait_for(lock, 2s, [&] { return seenIds.size() > already; });
    return seenIds.size() > already ? seenIds[already] : 0;
  }
  void Forge(const Mac& to, const Mac& from, uint32_t id, const std::vector<uint8_t>& reply) {
    for (auto& f : BuildFrames(to, from, EnvelopeFlag::Reply, id, reply.data(), reply.size()))
      attacker->Send(f.data(), f.size());
  }

  MemorySegment segment;
  std::unique_ptr<Link> attacker;
  std::unique_ptr<ClientCore> client;
  std::mutex mutex;
  std::condition_variable seen;
  std::vector<uint32_t> seenIds;
};

TEST_F(Hostile, ReplyFromAStationTheRequestDidNotGoToIsDroppedAndCounted) {
  // A slow agent: the forged reply, which knows the id, arrives long before the real one.
  FakeAgent agent(segment, {kAgent}, 32, 300ms);
  StartClient();
  auto request = MakeRequest(9, kAgent);
  std::vector<uint8_t> reply;
  auto exchange = std::async(std::launch::async, [&] {
    return client->Exchange(0, kAgent, request.data(), request.size(), {3000ms, 3}, reply);
  });
  const uint32_t id = NextId(0);
  ASSERT_NE(id, 0u);
  Forge(kConsole, kAttacker, id, ForgedReply());
  Forge(kConsole, TestMac(0xA1), id, ForgedReply());  // a neighbour of the agent's MAC
  ASSERT_EQ(exchange.get(), Outcome::Replied);
  ASSERT_EQ(reply.size(), 32u);
  EXPECT_EQ(reply[27], 27) << "the agent's reply, not the forged one";
  EXPECT_EQ(client->counters().drops.wrongSource, 2u);
  EXPECT_EQ(agent.executed(), 1);
}

TEST_F(Hostile, ForgedReplyAloneIsNoReply) {
  StartClient();  // no agent at all
  auto request = MakeRequest(6, kAgent);
  std::vector<uint8_t> reply;
  auto exchange = std::async(std::launch::async, [&] {
    return client->Exchange(0, kAgent, request.data(), request.size(), {600ms, 1}, reply);
  });
  const uint32_t id = NextId(0);
  for (int i = 0; i < 5; ++i) Forge(kConsole, kAttacker, id, ForgedReply(6));
  EXPECT_EQ(exchange.get(), Outcome::TimedOut);
  EXPECT_TRUE(reply.empty());
  EXPECT_EQ(client->counters().drops.wrongSource, 5u);
}

TEST_F(Hostile, IdsOfTheNextRequestsCannotBeGuessedFromABroadcast) {
  FakeAgent agent(segment, {kAgent}, 32, 300ms);
  StartClient();
  // Every station sees a discovery's id.
  auto discover = MakeRequest(1, kBroadcastMac);
  client->Discover(0, discover.data(), discover.size(), {250ms, 0}, [](const Message&) {});
  const uint32_t shown = NextId(0);
  ASSERT_NE(shown, 0u);

  // The attacker answers the ids that would follow, from the agent's own MAC, while the
  // next request waits for its slow reply.
  auto request = MakeRequest(9, kAgent);
  std::vector<uint8_t> reply;
  auto exchange = std::async(std::launch::async, [&] {
    return client->Exchange(0, kAgent, request.data(), request.size(), {3000ms, 0}, reply);
  });
  const uint32_t next = NextId(1);
  for (uint32_t guess = shown - 64; guess != shown + 512; ++guess)
    Forge(kConsole, kAgent, guess, ForgedReply());
  ASSERT_EQ(exchange.get(), Outcome::Replied);
  EXPECT_EQ(reply[27], 27) << "a guessed id was accepted";
  EXPECT_GT(client->counters().drops.unmatched, 500u);
  // Ids differ by more than a guess would cover.
  EXPECT_GT(std::min(next - shown, shown - next), 1024u);
}

TEST_F(Hostile, InventedMacsFloodingADiscoveryStopAtTheHostLimitWithBoundedMemory) {
  FakeAgent agent(segment, {kAgent});
  StartClient();
  auto request = MakeRequest(1, kBroadcastMac);
  std::atomic<int> listed{0};
  std::set<Mac> sources;
  std::atomic<bool> done{false};
#if defined(__GLIBC__)
  const std::size_t heapBefore = mallinfo2().uordblks;
  std::size_t heapPeak = heapBefore;
#endif
  auto discovery = std::async(std::launch::async, [&] {
    const Outcome outcome =
        client->Discover(0, request.data(), request.size(), {5000ms, 3}, [&](const Message& m) {
          sources.insert(m.source);
          ++listed;
        });
    done = true;
    return outcome;
  });
  const uint32_t id = NextId(0);
  ASSERT_NE(id, 0u);
  // The real agent answers within its spread window; the flood comes after it, from
  // invented MACs, each repeating itself, for as long as the discovery listens.
  std::this_thread::sleep_for(300ms);
  const auto reply = ForgedReply(1);
  uint32_t invented = 0;
  for (; !done && invented < 200000; ++invented) {
    const Mac mac = {0x0E, 0x00, static_cast<uint8_t>(invented >> 16),
                     static_cast<uint8_t>(invented >> 8), static_cast<uint8_t>(invented), 0x01};
    Forge(kConsole, mac, id, reply);
    Forge(kConsole, mac, id, reply);
#if defined(__GLIBC__)
    if (invented % 256 == 0) heapPeak = std::max(heapPeak, mallinfo2().uordblks);
#endif
    // The segment queues every frame sent: keep the test's own queue short.
    if (invented % 64 == 0) std::this_thread::sleep_for(1ms);
  }
  EXPECT_EQ(discovery.get(), Outcome::HostLimit) << invented << " invented MACs";
  EXPECT_EQ(listed.load(), static_cast<int>(ClientCore::kMaxDiscoveredHosts));
  EXPECT_EQ(sources.size(), ClientCore::kMaxDiscoveredHosts);
  EXPECT_EQ(sources.count(kAgent), 1u) << "the real agent was listed";
#if defined(__GLIBC__)
  // 4096 listed replies and their bookkeeping, plus the frames in flight: far below 16 MB.
  EXPECT_LT(heapPeak - heapBefore, 16u << 20);
#endif
}

TEST_F(Hostile, DiscoveryWithoutRoomSendsNothing) {
  StartClient();
  auto request = MakeRequest(1, kBroadcastMac);
  const uint64_t before = segment.framesSent();
  EXPECT_EQ(client->Discover(0, request.data(), request.size(), {600ms, 0},
                             [](const Message&) { ADD_FAILURE(); }, 0, 0),
            Outcome::HostLimit);
  EXPECT_EQ(segment.framesSent(), before);
}

TEST_F(Hostile, FloodOfInventedConsolesDoesNotFlushAPendingRetransmissionFromTheCache) {
  FakeAgent agent(segment, {kAgent}, 32);
  StartClient();
  // The console's reply is lost; its retransmissions are held back until the flood is in.
  std::atomic<bool> flooded{false};
  std::atomic<int> consoleRequests{0};
  segment.SetImpairment([&](const uint8_t* frame, std::size_t length) {
    Fragment f;
    if (ParseFragment(frame, length, f) != FrameVerdict::Accepted) return FrameFate::Deliver;
    if (f.source == kConsole && !(f.flags & EnvelopeFlag::Reply)) {
      if (consoleRequests++ > 0 && !flooded) return FrameFate::Drop;
      return FrameFate::Deliver;
    }
    if (f.destination == kConsole && !flooded) return FrameFate::Drop;
    return FrameFate::Deliver;
  });
  auto request = MakeRequest(2, kAgent, 128);
  std::vector<uint8_t> reply;
  auto exchange = std::async(std::launch::async, [&] {
    return client->Exchange(0, kAgent, request.data(), request.size(), {20000ms, 10}, reply);
  });
  for (int i = 0; i < 5000 && agent.executed() < 1; ++i) std::this_thread::sleep_for(1ms);
  ASSERT_EQ(agent.executed(), 1);

  // 2000 invented consoles each get a reply, so each takes a cache entry: eight times what
  // a plain least-recently-used cache of 256 entries would survive.
  auto poll = MakeRequest(6, kAgent);
  const auto WaitExecuted = [&](int n) {
    const auto deadline = Clock::now() + 10s;
    while (agent.executed() < n && Clock::now() < deadline) std::this_thread::sleep_for(100us);
    return agent.executed() >= n;
  };
  for (uint16_t n = 0; n < 2000; ++n) {
    StoreU32(poll.data() + 16, 1000u + n);  // a fresh header, as a console would send
    for (auto& f : BuildFrames(kAgent, TestMac(n, 0x0E), 0, 1000 + n, poll.data(), poll.size()))
      attacker->Send(f.data(), f.size());
    if (n >= 32) {
      ASSERT_TRUE(WaitExecuted(n - 31));  // within the agent's queue
    }
  }
  ASSERT_TRUE(WaitExecuted(2001));
  flooded = true;

  ASSERT_EQ(exchange.get(), Outcome::Replied);
  EXPECT_EQ(LoadU32(reply.data() + 12), 2u);
  EXPECT_EQ(agent.executed(), 2001) << "the console's request ran twice";
  EXPECT_GE(agent.core().counters().cacheResends, 1u);
  EXPECT_GT(agent.core().counters().cacheRefused, 0u) << "the flood was refused room";
}

}  // namespace
}  // namespace tavi
