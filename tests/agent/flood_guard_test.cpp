// The flood guard on its own, with a clock the test moves: buckets, back-off, the cap of
// failed checks, and a table that stays bounded under invented sources.
#include "agent/flood_guard.h"

#include <gtest/gtest.h>

#include <array>

namespace {

using Station = std::array<uint8_t, 6>;

Station StationMac(uint32_t n) {
  return {0x02, 0xEE, static_cast<uint8_t>(n >> 24), static_cast<uint8_t>(n >> 16),
          static_cast<uint8_t>(n >> 8), static_cast<uint8_t>(n)};
}

class FloodGuardTest : public ::testing::Test {
 protected:
  void SetUp() override { InitFloodGuard(guard, now); }
  bool Admit(uint32_t station, WorkKind kind = WorkKind::Collect) {
    return AdmitRequest(guard, StationMac(station).data(), kind, now);
  }
  // A credential check as the dispatcher runs it; true when the logon was called.
  bool Check(uint32_t station, bool passes) {
    if (!AdmitCredentialCheck(guard, StationMac(station).data(), now)) return false;
    NoteCredentialCheck(guard, StationMac(station).data(), passes, now);
    return true;
  }
  FloodGuard guard;
  uint64_t now = 5000;
};

TEST(TokenBucket, RefillsByTimeUpToItsBurstAndNeverWhenTheClockGoesBack) {
  const BucketRule rule = {2.0, 3.0};
  TokenBucket bucket = {3.0, 1000};
  for (int i = 0; i < 3; ++i) EXPECT_TRUE(TakeToken(bucket, rule, 1000));
  EXPECT_FALSE(TakeToken(bucket, rule, 1000));
  EXPECT_FALSE(TakeToken(bucket, rule, 1499));
  EXPECT_TRUE(TakeToken(bucket, rule, 1500));
  EXPECT_FALSE(TakeToken(bucket, rule, 100)) << "a clock that went back gives nothing";
  RefillBucket(bucket, rule, 100000000);
  EXPECT_DOUBLE_EQ(bucket.tokens, 3.0);
}

TEST(BackOff, GrowsFromTheFourthFailureAndStaysCapped) {
  EXPECT_EQ(BackOffMs(0), 0u);
  EXPECT_EQ(BackOffMs(kFreeFailures - 1), 0u);
  EXPECT_EQ(BackOffMs(kFreeFailures), kFirstBackOffMs);
  EXPECT_EQ(BackOffMs(kFreeFailures + 1), 2 * kFirstBackOffMs);
  EXPECT_EQ(BackOffMs(kFreeFailures + 30), kLongestBackOffMs);
  EXPECT_EQ(BackOffMs(UINT32_MAX), kLongestBackOffMs);
}

TEST_F(FloodGuardTest, OneFloodingSourceSpendsOnlyItsOwnBudget) {
  int flood = 0;
  for (int i = 0; i < 10000; ++i) flood += Admit(1);
  EXPECT_EQ(flood, static_cast<int>(kSourceWorkRule.burst));
  for (int i = 0; i < 10; ++i) EXPECT_TRUE(Admit(2)) << i;
  // A minute of line rate (one frame every 10 microseconds, so 100 per millisecond).
  flood = 0;
  for (int ms = 0; ms < 60000; ++ms) {
    ++now;
    for (int i = 0; i < 100; ++i) flood += Admit(1);
  }
  EXPECT_LE(flood, kSourceWorkRule.perSecond * 60 + 1);
  EXPECT_TRUE(Admit(2));
  EXPECT_TRUE(Admit(1, WorkKind::Cheap)) << "codes without a reply are never charged";
}

// Each Poll reply costs a signature: invented sources polling at line rate get the agent's
// signature budget and no more, and a console with a passed check keeps polling.
TEST_F(FloodGuardTest, PollsAreChargedAndInventedPollersShareOneSignatureBudget) {
  ASSERT_TRUE(Check(1, true));
  int signatures = 0;
  uint32_t station = 100;
  for (int ms = 0; ms < 10000; ++ms) {
    ++now;
    for (int i = 0; i < 10; ++i) signatures += Admit(station++, WorkKind::Sign);
    if (ms % 2000 == 0) {
      EXPECT_TRUE(Admit(1, WorkKind::Sign)) << ms;
    }
  }
  EXPECT_LE(signatures, kAgentSignRule.burst + kAgentSignRule.perSecond * 10);
  EXPECT_GT(signatures, 0);
  int one = 0;
  for (int i = 0; i < 1000; ++i) one += Admit(2, WorkKind::Sign);
  EXPECT_LE(one, kSourceWorkRule.burst) << "one source, its own bucket";
  EXPECT_TRUE(Admit(3)) << "polls do not spend the collection budget";
}

TEST_F(FloodGuardTest, InventedSourcesShareTheAgentsBudgetAndKeepTheTableBounded) {
  int collections = 0;
  int logons = 0;
  uint32_t station = 100;
  for (int ms = 0; ms < 10000; ++ms) {
    ++now;
    for (int i = 0; i < 10; ++i) {
      collections += Admit(station++);
      logons += Admit(station++, WorkKind::Logon);
    }
  }
  // Logons take a work token as well, so both bounds hold for the sum.
  EXPECT_LE(collections + logons, kAgentWorkRule.burst + kAgentWorkRule.perSecond * 10);
  EXPECT_LE(logons, kAgentLogonRule.burst + kAgentLogonRule.perSecond * 10);
  EXPECT_GT(logons, 0);
  EXPECT_EQ(guard.counters.evictions, station - 100 - kGuardSources);
  static_assert(sizeof(FloodGuard) < 8192, "per-source state is a fixed table");
}

TEST_F(FloodGuardTest, BackOffGrowsRefusesWithoutLogonAndASuccessResetsIt) {
  for (uint32_t i = 0; i < kFreeFailures; ++i) EXPECT_TRUE(Check(7, false));
  EXPECT_FALSE(Check(7, true)) << "the right password too, while backing off";
  now += kFirstBackOffMs - 1;
  EXPECT_FALSE(Check(7, false));
  now += 1;
  EXPECT_TRUE(Check(7, false));  // the fourth failure: twice as long
  now += 2 * kFirstBackOffMs - 1;
  EXPECT_FALSE(Check(7, true));
  EXPECT_TRUE(Check(8, true)) << "another console is not held up";
  now += 1;
  EXPECT_TRUE(Check(7, true));
  for (uint32_t i = 0; i < kFreeFailures; ++i) EXPECT_TRUE(Check(7, false)) << "reset by the success";
  EXPECT_FALSE(Check(7, false));
}

TEST_F(FloodGuardTest, RotatingSourcesMeetTheCapOfFailedChecks) {
  EXPECT_TRUE(Check(1, true));  // a console that proved its administrator
  int logons = 0;
  uint32_t station = 1000;
  for (int s = 0; s < 600; ++s) {  // 30 seconds, a fresh MAC for every guess, 20 a second
    now += 50;
    logons += Check(station++, false);
  }
  EXPECT_LE(logons, kAgentFailureRule.burst + kAgentFailureRule.perSecond * 30 + 1);
  EXPECT_FALSE(Check(2000000, false)) << "a new source meets the cap too";
  EXPECT_TRUE(Check(1, true)) << "the proven console is not locked out by the flood";
}

TEST_F(FloodGuardTest, TrustAndBackOffSurviveAFloodOfInventedSources) {
  EXPECT_TRUE(Check(1, true));
  for (uint32_t i = 0; i < kFreeFailures; ++i) Check(2, false);
  for (uint32_t s = 0; s < 50000; ++s) {
    ++now;
    Admit(100000 + s);
  }
  EXPECT_GT(guard.counters.evictions, 0u);
  // The guesser's count was kept: its next failure backs off at once.
  EXPECT_TRUE(Check(2, false));
  EXPECT_FALSE(Check(2, true)) << "the guesser's failures were not evicted";
  // Trusted: past the shared budget the invented sources used up.
  int served = 0;
  for (int i = 0; i < 5; ++i) served += Admit(1);
  EXPECT_EQ(served, 5);
}

}  // namespace
