// Discovery over the in-memory segment: one reply per agent adapter, in arrival order,
// spread by MAC, and answered once per host however many of its adapters hear it.
#include <gtest/gtest.h>

#include <algorithm>
#include <set>

#include "protocol/byte_order.h"
#include "transport/core/client_core.h"
#include "transport/core/spread.h"
#include "wire_helpers.h"

namespace tavi {
namespace {

using namespace std::chrono_literals;
using test::FakeAgent;
using test::MakeRequest;
using test::TestMac;

const Mac kConsole = TestMac(0xC0, 0x06);

class Discovery : public ::testing::Test {
 protected:
  void StartClient() {
    std::vector<std::unique_ptr<Link>> links;
    links.push_back(segment.Attach(kConsole));
    client = std::make_unique<ClientCore>(std::move(links));
  }
  std::vector<Message> Discover(ExchangeTiming timing = {600ms, 0}) {
    std::vector<Message> found;
    auto request = MakeRequest(1, kBroadcastMac);
    start = Clock::now();
    EXPECT_EQ(client->Discover(0, request.data(), request.size(), timing,
                               [&](const Message& m) {
                                 found.push_back(m);
                                 arrivals.push_back(Clock::now() - start);
                               }),
              Outcome::TimedOut);
    return found;
  }

  MemorySegment segment;
  std::vector<std::unique_ptr<FakeAgent>> agents;
  std::unique_ptr<ClientCore> client;
  Clock::time_point start;
  std::vector<Clock::duration> arrivals;
};

TEST_F(Discovery, EveryAgentOnceInArrivalOrderWithinTheSpreadWindow) {
  for (uint16_t i = 1; i <= 30; ++i)
    agents.push_back(std::make_unique<FakeAgent>(segment, std::vector<Mac>{TestMac(i)}));
  StartClient();
  const auto found = Discover();
  ASSERT_EQ(found.size(), 30u);
  std::set<Mac> macs;
  for (const auto& m : found) {
    macs.insert(m.source);
    EXPECT_EQ(MacAt(m.bytes.data() + 4), m.source) << "agent fills bytes 4..9";
  }
  EXPECT_EQ(macs.size(), 30u);
  EXPECT_TRUE(std::is_sorted(arrivals.begin(), arrivals.end()));
  // The spread is a function of the MAC alone, so it is checked as such rather than by the
  // wall clock, which a loaded machine stretches: bounded by the window and not bunched.
  std::set<int64_t> delays;
  for (const auto& m : found) {
    const auto delay = DiscoverySpreadDelay(m.source);
    EXPECT_GE(delay.count(), 0);
    EXPECT_LT(delay, kDiscoverySpreadWindow);
    delays.insert(delay.count() / 10000);  // 10 ms buckets
  }
  EXPECT_GT(delays.size(), 10u);
}

TEST_F(Discovery, RepeatedRepliesOfOneAdapterCountOnce) {
  segment.SetImpairment([](const uint8_t*, std::size_t) { return FrameFate::Duplicate; });
  agents.push_back(std::make_unique<FakeAgent>(segment, std::vector<Mac>{TestMac(1)}));
  agents.push_back(std::make_unique<FakeAgent>(segment, std::vector<Mac>{TestMac(2)}));
  StartClient();
  EXPECT_EQ(Discover().size(), 2u);
  EXPECT_GE(client->counters().drops.duplicates, 2u);
  EXPECT_EQ(agents[0]->executed(), 1);
}

TEST_F(Discovery, HostWithTwoAdaptersOnTheSegmentAnswersOnce) {
  agents.push_back(
      std::make_unique<FakeAgent>(segment, std::vector<Mac>{TestMac(1), TestMac(2)}));
  StartClient();
  // Repeated broadcasts too: the copies on the other adapter must not be answered.
  const auto found = Discover({2500ms, 3});
  ASSERT_EQ(found.size(), 1u);
  EXPECT_EQ(agents[0]->executed(), 1);
  EXPECT_EQ(agents[0]->repeatedHeaders(), 0);
}

TEST_F(Discovery, LostReplyIsRecoveredByTheRepeatedBroadcastWithoutRunningTwice) {
  int replies = 0;
  segment.SetImpairment([&](const uint8_t* frame, std::size_t length) {
    Fragment f;
    if (ParseFragment(frame, length, f) == FrameVerdict::Accepted &&
        (f.flags & EnvelopeFlag::Reply) && replies++ == 0)
      return FrameFate::Drop;
    return FrameFate::Deliver;
  });
  agents.push_back(std::make_unique<FakeAgent>(segment, std::vector<Mac>{TestMac(1)}));
  StartClient();
  const auto found = Discover({2100ms, 3});
  ASSERT_EQ(found.size(), 1u);
  EXPECT_GT(arrivals.front(), 1000ms);  // came after the repeat a second in
  EXPECT_EQ(agents[0]->executed(), 1);
  EXPECT_EQ(agents[0]->core().counters().cacheResends, 1u);
}

TEST_F(Discovery, CancelEndsTheWindowEarly) {
  StartClient();
  const uint64_t id = client->NewWorkId();
  auto request = MakeRequest(1, kBroadcastMac);
  std::thread canceller([&] {
    std::this_thread::sleep_for(100ms);
    client->Cancel(id);
  });
  EXPECT_EQ(client->Discover(0, request.data(), request.size(), {30000ms, 3},
                             [](const Message&) {}, id),
            Outcome::Cancelled) << "the 30 s window ran out";
  canceller.join();
}

TEST(DiscoverySpread, BoundedAndSpreadOverTheWindow) {
  std::vector<std::chrono::microseconds> delays;
  for (uint16_t i = 0; i < 1000; ++i) delays.push_back(DiscoverySpreadDelay(TestMac(i)));
  const auto [lo, hi] = std::minmax_element(delays.begin(), delays.end());
  EXPECT_GE(lo->count(), 0);
  EXPECT_LT(*hi, kDiscoverySpreadWindow);
  // Sequential MACs must not bunch: no 10 ms bucket gets more than a tenth of them.
  std::vector<int> buckets(20, 0);
  for (auto d : delays) ++buckets[static_cast<std::size_t>(d.count() / 10000)];
  EXPECT_LT(*std::max_element(buckets.begin(), buckets.end()), 100);
}

}  // namespace
}  // namespace tavi
