// The verifier that checks discovery replies off the receive path: order, bounds, stopping.
#include <gtest/gtest.h>

#include <atomic>
#include <mutex>
#include <random>
#include <thread>

#include "transport/core/reply_verifier.h"

namespace tavi {
namespace {

using namespace std::chrono_literals;

Message Numbered(int n) {
  Message m;
  m.transactionId = static_cast<uint32_t>(n);
  return m;
}

TEST(ReplyVerifier, ResultsComeBackInSubmissionOrderHoweverTheChecksInterleave) {
  std::atomic<int> ready{0};
  ReplyVerifier verifier(
      256, 4,
      [](const Message& m) {
        // Checks of uneven length, so later ones often finish first.
        std::this_thread::sleep_for(std::chrono::microseconds((m.transactionId * 7919) % 3000));
        return m.transactionId % 3 != 0;
      },
      [&] { ++ready; });
  for (int i = 0; i < 200; ++i) ASSERT_TRUE(verifier.Submit(Numbered(i)));
  std::vector<int> order;
  const bool stopped = verifier.DrainUntil(Clock::now() + 20s, [&](Message& m, bool verified) {
    EXPECT_EQ(verified, m.transactionId % 3 != 0) << m.transactionId;
    order.push_back(static_cast<int>(m.transactionId));
    return false;
  });
  EXPECT_FALSE(stopped);
  ASSERT_EQ(order.size(), 200u);
  for (int i = 0; i < 200; ++i) ASSERT_EQ(order[i], i);
  EXPECT_LE(verifier.workersStarted(), 4u);
  EXPECT_EQ(verifier.Stop(), 0u);
  EXPECT_EQ(ready.load(), 200) << "every result announced (the last perhaps after the drain)";
}

// A reply in the pinned lane is checked before every other one waiting, and a full other
// lane does not keep it out.
TEST(ReplyVerifier, ThePinnedLaneGoesFirstAndHasRoomOfItsOwn) {
  std::atomic<bool> release{false}, started{false};
  std::mutex mutex;
  std::vector<int> checked;
  ReplyVerifier verifier(
      3, 1,
      [&](const Message& m) {
        started = true;
        while (!release) std::this_thread::sleep_for(1ms);
        std::lock_guard<std::mutex> lock(mutex);
        checked.push_back(static_cast<int>(m.transactionId));
        return true;
      },
      nullptr);
  for (int i = 0; i < 3; ++i) ASSERT_TRUE(verifier.Submit(Numbered(i)));
  EXPECT_FALSE(verifier.Submit(Numbered(3))) << "the other lane is full";
  while (!started) std::this_thread::sleep_for(1ms);  // reply 0 is under way
  ASSERT_TRUE(verifier.Submit(Numbered(100), ReplyVerifier::Lane::Pinned));
  ASSERT_TRUE(verifier.Submit(Numbered(101), ReplyVerifier::Lane::Pinned));
  release = true;
  std::vector<int> taken;
  verifier.DrainUntil(Clock::now() + 20s, [&](Message& m, bool) {
    taken.push_back(static_cast<int>(m.transactionId));
    return false;
  });
  const std::vector<int> expected{0, 100, 101, 1, 2};
  EXPECT_EQ(checked, expected);
  EXPECT_EQ(taken.size(), 5u);
  EXPECT_EQ(verifier.Stop(), 0u);
}

TEST(ReplyVerifier, HoldsAtMostItsCapacityAndStartsAtMostItsWorkers) {
  std::atomic<bool> release{false};
  std::atomic<int> running{0}, most{0};
  ReplyVerifier verifier(
      16, 3,
      [&](const Message&) {
        const int now = ++running;
        for (int seen = most; now > seen && !most.compare_exchange_weak(seen, now);) {
        }
        while (!release) std::this_thread::sleep_for(1ms);
        --running;
        return true;
      },
      nullptr);
  int accepted = 0;
  for (int i = 0; i < 1000; ++i) accepted += verifier.Submit(Numbered(i)) ? 1 : 0;
  EXPECT_EQ(accepted, 16);
  EXPECT_EQ(verifier.held(), 16u);
  EXPECT_EQ(verifier.workersStarted(), 3u);
  release = true;
  int taken = 0;
  // The first one to stop the draining ends it, the rest stay held.
  EXPECT_TRUE(verifier.DrainUntil(Clock::now() + 10s, [&](Message&, bool) { return ++taken == 5; }));
  EXPECT_EQ(taken, 5);
  EXPECT_LE(most.load(), 3);
  // Room again: the verifier takes new replies.
  EXPECT_TRUE(verifier.Submit(Numbered(2000)));
}

TEST(ReplyVerifier, DrainingStopsAtItsDeadlineAndTheRestWaitsInOrder) {
  ReplyVerifier verifier(64, 2, [](const Message&) { return true; }, nullptr);
  for (int i = 0; i < 40; ++i) ASSERT_TRUE(verifier.Submit(Numbered(i)));
  std::vector<int> order;
  const auto take = [&](Message& m, bool) {
    order.push_back(static_cast<int>(m.transactionId));
    std::this_thread::sleep_for(20ms);  // a slow listing: 40 of these take 800 ms
    return false;
  };
  ASSERT_FALSE(verifier.DrainUntil(Clock::now() + 100ms, take));
  EXPECT_GE(order.size(), 1u);
  EXPECT_LT(order.size(), 40u) << "taking went on past the deadline";
  EXPECT_FALSE(verifier.Drain(Clock::now(), take)) << "a deadline gone takes nothing";
  const std::size_t early = order.size();
  EXPECT_EQ(verifier.held(), 40u - early);
  EXPECT_FALSE(verifier.DrainUntil(Clock::now() + 20s, take));
  ASSERT_EQ(order.size(), 40u);
  for (int i = 0; i < 40; ++i) EXPECT_EQ(order[i], i);
}

TEST(ReplyVerifier, StopEndsPromptlyAndNothingRunsAfterIt) {
  std::atomic<int> checks{0}, ready{0};
  auto verifier = std::make_unique<ReplyVerifier>(
      4096, 2,
      [&](const Message&) {
        std::this_thread::sleep_for(5ms);
        ++checks;
        return true;
      },
      [&] { ++ready; });
  for (int i = 0; i < 1000; ++i) ASSERT_TRUE(verifier->Submit(Numbered(i)));
  std::this_thread::sleep_for(20ms);
  EXPECT_GT(verifier->Stop(), 900u) << "the unchecked and the undrained are dropped";
  const int checksAtStop = checks, readyAtStop = ready;
  EXPECT_LT(checksAtStop, 100) << "only the checks under way are waited for";
  EXPECT_FALSE(verifier->Submit(Numbered(5000)));
  EXPECT_FALSE(verifier->Drain(Clock::now() + 1s, [](Message&, bool) {
    ADD_FAILURE() << "nothing is handed out after Stop";
    return false;
  }));
  verifier.reset();
  std::this_thread::sleep_for(30ms);
  EXPECT_EQ(checks.load(), checksAtStop);
  EXPECT_EQ(ready.load(), readyAtStop);
  EXPECT_LT(checksAtStop, 1000);
}

TEST(ReplyVerifier, QuietSegmentStartsNoThreadAndWorkerCountIsBounded) {
  ReplyVerifier quiet(64, 8, [](const Message&) { return true; }, nullptr);
  EXPECT_EQ(quiet.workersStarted(), 0u);
  EXPECT_FALSE(quiet.DrainUntil(Clock::now() + 10ms, [](Message&, bool) { return true; }));
  const std::size_t workers = ReplyVerifier::DefaultWorkers();
  EXPECT_GE(workers, 1u);
  EXPECT_LE(workers, ReplyVerifier::kMaxWorkers);
}

}  // namespace
}  // namespace tavi
