// The reply cache's share-out: a console's entries outlast a flood from other sources while
// that console may still retransmit, one source cannot hold more than its quota, and the
// cache never grows past its capacity.
#include "transport/core/reply_cache.h"

#include <gtest/gtest.h>

#include "wire_helpers.h"

namespace tavi {
namespace {

using namespace std::chrono_literals;
using test::TestMac;

const Mac kConsole = TestMac(0xC0, 0x06);

CachedReply Entry(const Mac& console, uint32_t id) {
  CachedReply r;
  r.console = console;
  r.transactionId = id;
  r.frames.push_back(std::vector<uint8_t>(60, static_cast<uint8_t>(id)));
  return r;
}

TEST(ReplyCache, FloodOfInventedConsolesNeitherEvictsAUsedEntryNorGrowsPastCapacity) {
  ReplyCache cache;
  const auto t0 = Clock::now();
  ASSERT_TRUE(cache.Store(Entry(kConsole, 7), t0));
  int refused = 0;
  for (uint16_t n = 0; n < 5000; ++n)
    if (!cache.Store(Entry(TestMac(n, 0x0E), 1), t0 + 1ms * (n % 1000))) ++refused;
  EXPECT_EQ(cache.size(), ReplyCache::kCapacity);
  EXPECT_EQ(refused, 5000 - static_cast<int>(ReplyCache::kCapacity) + 1);
  EXPECT_NE(cache.Find(kConsole, 7, t0 + 2s), nullptr);
}

TEST(ReplyCache, RetransmissionsKeepAnEntryProtectedAndStaleOnesMakeRoom) {
  ReplyCache cache(16, 4, 30s, 660s);
  const auto t0 = Clock::now();
  ASSERT_TRUE(cache.Store(Entry(kConsole, 7), t0));
  ASSERT_TRUE(cache.Store(Entry(TestMac(1), 7), t0));  // a console that went quiet
  ASSERT_NE(cache.Find(kConsole, 7, t0 + 25s), nullptr);  // a retransmission renews it
  // 40 s in: the quiet console's entry is past protection, the other one is not.
  for (uint16_t n = 0; n < 20; ++n) cache.Store(Entry(TestMac(n, 0x0E), 1), t0 + 40s);
  EXPECT_NE(cache.Find(kConsole, 7, t0 + 41s), nullptr);
  EXPECT_EQ(cache.Find(TestMac(1), 7, t0 + 41s), nullptr);
  EXPECT_EQ(cache.size(), 16u);
  // Once the flood's own entries go stale, newcomers get room again.
  EXPECT_TRUE(cache.Store(Entry(TestMac(99), 1), t0 + 80s));
}

TEST(ReplyCache, OneConsoleHoldsAtMostItsQuotaAndEvictsOnlyItsOwn) {
  ReplyCache cache(16, 4, 30s, 660s);
  const auto t0 = Clock::now();
  ASSERT_TRUE(cache.Store(Entry(kConsole, 1), t0));
  for (uint32_t id = 100; id < 120; ++id)
    ASSERT_TRUE(cache.Store(Entry(TestMac(5), id), t0 + 1ms * id));
  EXPECT_EQ(cache.EntriesOf(TestMac(5)), 4u);
  EXPECT_EQ(cache.size(), 5u);
  EXPECT_NE(cache.Find(kConsole, 1, t0 + 1s), nullptr);
  EXPECT_NE(cache.Find(TestMac(5), 119, t0 + 1s), nullptr);
  EXPECT_EQ(cache.Find(TestMac(5), 115, t0 + 1s), nullptr);
}

TEST(ReplyCache, SameKeyReplacesAndOldEntriesExpire) {
  ReplyCache cache(16, 4, 30s, 660s);
  const auto t0 = Clock::now();
  cache.Store(Entry(kConsole, 1), t0);
  cache.Store(Entry(kConsole, 1), t0 + 1s);
  EXPECT_EQ(cache.size(), 1u);
  EXPECT_EQ(cache.EntriesOf(kConsole), 1u);
  EXPECT_EQ(cache.Find(kConsole, 1, t0 + 1s + 661s), nullptr);
  EXPECT_EQ(cache.size(), 0u);
  EXPECT_EQ(cache.EntriesOf(kConsole), 0u);
}

}  // namespace
}  // namespace tavi
