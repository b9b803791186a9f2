// Requests between ClientCore and ServerCore over the in-memory segment: loss, duplication,
// reordering, fragmentation, retransmission with the reply cache, cancel and time-outs.
#include <gtest/gtest.h>

#include <atomic>
#include <future>

#include "protocol/byte_order.h"
#include "transport/client/reply_delivery.h"
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

// Fates by direction and by count of frames seen so far in that direction.
struct Script {
  std::function<FrameFate(int n)> requests = [](int) { return FrameFate::Deliver; };
  std::function<FrameFate(int n)> replies = [](int) { return FrameFate::Deliver; };
};

class Exchange : public ::testing::Test {
 protected:
  void Start(Script script, std::size_t replyLength = 32, std::chrono::milliseconds work = 0ms) {
    segment.SetImpairment([this, script](const uint8_t* frame, std::size_t length) {
      Fragment f;
      if (ParseFragment(frame, length, f) != FrameVerdict::Accepted) return FrameFate::Deliver;
      return (f.flags & EnvelopeFlag::Reply) ? script.replies(replyFrames++)
                                             : script.requests(requestFrames++);
    });
    agent = std::make_unique<FakeAgent>(segment, std::vector<Mac>{kAgent}, replyLength, work);
    std::vector<std::unique_ptr<Link>> links;
    links.push_back(segment.Attach(kConsole));
    client = std::make_unique<ClientCore>(std::move(links));
  }
  Outcome Send(std::vector<uint8_t>& reply, ExchangeTiming timing = {3000ms, 3}) {
    auto request = MakeRequest(9, kAgent);
    return client->Exchange(0, kAgent, request.data(), request.size(), timing, reply);
  }

  MemorySegment segment;
  std::atomic<int> requestFrames{0};
  std::atomic<int> replyFrames{0};
  std::unique_ptr<FakeAgent> agent;
  std::unique_ptr<ClientCore> client;
};

TEST_F(Exchange, ReplyCarriesRequestHeaderAndAnsweringMac) {
  Start({});
  std::vector<uint8_t> reply;
  ASSERT_EQ(Send(reply), Outcome::Replied);
  ASSERT_EQ(reply.size(), 32u);
  EXPECT_EQ(LoadU16(reply.data() + 10), 2);
  EXPECT_EQ(LoadU32(reply.data() + 12), 9u);
  EXPECT_EQ(MacAt(reply.data() + 4), kAgent);
  EXPECT_EQ(client->counters().retransmissions, 0u);
  EXPECT_EQ(agent->executed(), 1);
}

TEST_F(Exchange, IdenticalRequestsGetFreshHeadersSoTheAgentAnswersEach) {
  Start({});
  std::vector<uint8_t> first, second;
  ASSERT_EQ(Send(first), Outcome::Replied);
  ASSERT_EQ(Send(second), Outcome::Replied);
  EXPECT_NE(LoadU32(first.data() + 16), LoadU32(second.data() + 16));
  EXPECT_EQ(agent->executed(), 2);
  EXPECT_EQ(agent->repeatedHeaders(), 0);
}

TEST_F(Exchange, LostRequestIsRetransmitted) {
  Script s;
  s.requests = [](int n) { return n < 2 ? FrameFate::Drop : FrameFate::Deliver; };
  Start(s);
  std::vector<uint8_t> reply;
  ASSERT_EQ(Send(reply, {3000ms, 3}), Outcome::Replied);
  EXPECT_EQ(client->counters().retransmissions, 2u);
  EXPECT_EQ(agent->executed(), 1);
}

TEST_F(Exchange, LostReplyIsResentFromTheCacheWithoutRunningTwice) {
  Script s;
  s.replies = [](int n) { return n == 0 ? FrameFate::Drop : FrameFate::Deliver; };
  Start(s);
  std::vector<uint8_t> reply;
  ASSERT_EQ(Send(reply), Outcome::Replied);
  EXPECT_EQ(agent->executed(), 1);
  EXPECT_EQ(agent->repeatedHeaders(), 0);
  EXPECT_EQ(agent->core().counters().cacheResends, 1u);
}

TEST_F(Exchange, RetransmissionDuringSlowWorkIsDroppedNotQueued) {
  Start({}, 32, 2000ms);  // the first retransmission comes at 1 s, in the middle
  std::vector<uint8_t> reply;
  ASSERT_EQ(Send(reply, {10000ms, 3}), Outcome::Replied);
  EXPECT_EQ(client->counters().retransmissions, 1u);
  EXPECT_EQ(agent->executed(), 1);
  EXPECT_EQ(agent->repeatedHeaders(), 0);
  EXPECT_EQ(agent->core().counters().drops.duplicates, 1u);
}

TEST_F(Exchange, DuplicatedFramesBothWaysGiveOneExecutionAndOneReply) {
  Script s;
  s.requests = [](int) { return FrameFate::Duplicate; };
  s.replies = [](int) { return FrameFate::Duplicate; };
  Start(s);
  std::vector<uint8_t> reply;
  ASSERT_EQ(Send(reply), Outcome::Replied);
  ASSERT_EQ(Send(reply), Outcome::Replied);
  EXPECT_EQ(agent->executed(), 2);
  EXPECT_EQ(agent->repeatedHeaders(), 0);
}

TEST_F(Exchange, FragmentedReplyReassemblesAcrossReorderingAndLoss) {
  Script s;
  // First reply: fragment 0 held back behind fragment 1. Second reply: fragment 1 lost, so
  // the retransmission's cached copy has to complete it.
  s.replies = [](int n) {
    if (n == 0) return FrameFate::HoldBack;
    if (n == 3) return FrameFate::Drop;
    return FrameFate::Deliver;
  };
  Start(s, 2048);
  for (int round = 0; round < 2; ++round) {
    std::vector<uint8_t> reply;
    ASSERT_EQ(Send(reply), Outcome::Replied) << "round " << round;
    ASSERT_EQ(reply.size(), 2048u);
    for (std::size_t i = 27; i < reply.size(); ++i)
      ASSERT_EQ(reply[i], static_cast<uint8_t>(i)) << "byte " << i;
  }
  EXPECT_EQ(agent->executed(), 2);
}

TEST_F(Exchange, SilenceTimesOutAfterTheWindowWithAllRetries) {
  Script s;
  s.requests = [](int) { return FrameFate::Drop; };
  Start(s);
  std::vector<uint8_t> reply;
  const auto t = Clock::now();
  EXPECT_EQ(Send(reply, {800ms, 3}), Outcome::TimedOut);
  EXPECT_GE(Clock::now() - t, 800ms);
  EXPECT_EQ(requestFrames, 4);  // first send and three retries, spread inside the window
  EXPECT_EQ(agent->executed(), 0);
}

TEST(RetrySchedule, BacksOffWhenItFitsAndSpacesEvenlyWhenNot) {
  using V = std::vector<std::chrono::milliseconds>;
  EXPECT_EQ(ClientCore::RetrySchedule(30000ms, 3), (V{0ms, 1000ms, 3000ms, 7000ms}));
  EXPECT_EQ(ClientCore::RetrySchedule(30000ms, 6),
            (V{0ms, 1000ms, 3000ms, 7000ms, 11000ms, 15000ms, 19000ms}));
  EXPECT_EQ(ClientCore::RetrySchedule(800ms, 3), (V{0ms, 200ms, 400ms, 600ms}));
  const auto ten = ClientCore::RetrySchedule(30000ms, 10);
  ASSERT_EQ(ten.size(), 11u);
  EXPECT_LT(ten.back(), 30000ms);
  EXPECT_EQ(ClientCore::RetrySchedule(250ms, 0), (V{0ms}));
}

TEST_F(Exchange, CancelEndsAWaitingExchangeSoonAndStaleIdsAreHarmless) {
  Script s;
  s.requests = [](int) { return FrameFate::Drop; };
  Start(s);
  client->Cancel(12345);  // not started
  const uint64_t id = client->NewWorkId();
  auto request = MakeRequest(9, kAgent);
  auto done = std::async(std::launch::async, [&] {
    std::vector<uint8_t> reply;
    return client->Exchange(0, kAgent, request.data(), request.size(), {30000ms, 3}, reply, id);
  });
  std::this_thread::sleep_for(100ms);
  client->Cancel(id);
  EXPECT_EQ(done.get(), Outcome::Cancelled) << "not ended before its 30 s window";
  client->Cancel(id);  // ended
}

TEST_F(Exchange, ShutdownReleasesEveryWaiter) {
  Script s;
  s.requests = [](int) { return FrameFate::Drop; };
  Start(s);
  auto request = MakeRequest(6, kAgent);
  std::vector<std::future<Outcome>> waiting;
  for (int i = 0; i < 3; ++i)
    waiting.push_back(std::async(std::launch::async, [&] {
      std::vector<uint8_t> reply;
      return client->Exchange(0, kAgent, request.data(), request.size(), {30000ms, 3}, reply);
    }));
  std::this_thread::sleep_for(100ms);
  client->Shutdown();
  for (auto& w : waiting) EXPECT_EQ(w.get(), Outcome::Cancelled) << "not ended before its 30 s window";
}

TEST_F(Exchange, ConcurrentExchangesOnOneAdapterGetTheirOwnReplies) {
  Start({}, 32, 20ms);
  std::vector<std::future<uint32_t>> results;
  for (uint32_t code = 2; code <= 7; ++code)
    results.push_back(std::async(std::launch::async, [&, code] {
      auto request = MakeRequest(code, kAgent);
      std::vector<uint8_t> reply;
      const Outcome o =
          client->Exchange(0, kAgent, request.data(), request.size(), {5000ms, 3}, reply);
      return o == Outcome::Replied ? LoadU32(reply.data() + 12) : 0u;
    }));
  for (uint32_t code = 2; code <= 7; ++code) EXPECT_EQ(results[code - 2].get(), code);
}

TEST(ReplyDelivery, LongReplyIsCutAtTheConsoleBufferAndNeverWrittenPast) {
  std::vector<uint8_t> reply(27 + 128 + 44 * 12, 0x11);  // twelve adapters: 683 bytes
  std::vector<uint8_t> buffer(596 + 16, 0xA5);
  EXPECT_EQ(DeliverReply(reply, buffer.data(), 596), 596u);
  for (std::size_t i = 0; i < 596; ++i) ASSERT_EQ(buffer[i], 0x11);
  for (std::size_t i = 596; i < buffer.size(); ++i) ASSERT_EQ(buffer[i], 0xA5) << "canary " << i;
}

TEST(ReplyDelivery, ReplyWithoutStatusCountsAsNone) {
  std::vector<uint8_t> buffer(32, 0);
  EXPECT_EQ(DeliverReply(std::vector<uint8_t>(20, 0x22), buffer.data(), buffer.size()), 0u);
  EXPECT_EQ(LoadU16(buffer.data() + 24), 3);
  EXPECT_EQ(buffer[0], 0);
}

}  // namespace
}  // namespace tavi
