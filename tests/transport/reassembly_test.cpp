#include "transport/core/reassembly.h"

#include <gtest/gtest.h>

#include "wire_helpers.h"

namespace tavi {
namespace {

using namespace std::chrono_literals;
using test::TestMac;

struct Parsed {
  std::vector<std::vector<uint8_t>> frames;
  std::vector<Fragment> fragments;
};

Parsed Split(std::size_t length, uint32_t id, const Mac& source = TestMac(2)) {
  std::vector<uint8_t> payload(length);
  for (std::size_t i = 0; i < length; ++i) payload[i] = static_cast<uint8_t>(i * 7 + id);
  Parsed p;
  p.frames = BuildFrames(TestMac(1), source, 0, id, payload.data(), payload.size());
  for (const auto& f : p.frames) {
    Fragment fragment;
    EXPECT_EQ(ParseFragment(f.data(), f.size(), fragment), FrameVerdict::Accepted);
    p.fragments.push_back(fragment);
  }
  return p;
}

void ExpectPayload(const Message& m, std::size_t length, uint32_t id) {
  ASSERT_EQ(m.bytes.size(), length);
  for (std::size_t i = 0; i < length; ++i)
    ASSERT_EQ(m.bytes[i], static_cast<uint8_t>(i * 7 + id)) << "byte " << i;
}

TEST(Reassembly, CompletesInEitherOrderAndOnlyOnce) {
  const auto now = Clock::now();
  for (bool reversed : {false, true}) {
    Reassembler r;
    auto p = Split(2048, 3);
    if (reversed) std::swap(p.fragments[0], p.fragments[1]);
    Message m;
    EXPECT_FALSE(r.Add(p.fragments[0], now, m));
    EXPECT_EQ(r.pending(), 1u);
    ASSERT_TRUE(r.Add(p.fragments[1], now, m));
    ExpectPayload(m, 2048, 3);
    EXPECT_EQ(r.pending(), 0u);
    // A late duplicate starts a new partial message but never completes a second copy.
    EXPECT_FALSE(r.Add(p.fragments[1], now, m));
  }
}

TEST(Reassembly, DuplicateFragmentIsCountedNotDoubled) {
  Reassembler r;
  auto p = Split(1600, 4);
  Message m;
  EXPECT_FALSE(r.Add(p.fragments[0], Clock::now(), m));
  EXPECT_FALSE(r.Add(p.fragments[0], Clock::now(), m));
  EXPECT_EQ(r.counts().duplicateFragments, 1u);
  ASSERT_TRUE(r.Add(p.fragments[1], Clock::now(), m));
  ExpectPayload(m, 1600, 4);
}

TEST(Reassembly, SameIdFromTwoSendersDoesNotMix) {
  Reassembler r;
  auto a = Split(2000, 5, TestMac(10));
  auto b = Split(2000, 5, TestMac(11));
  Message m;
  const auto now = Clock::now();
  EXPECT_FALSE(r.Add(a.fragments[0], now, m));
  EXPECT_FALSE(r.Add(b.fragments[1], now, m));
  ASSERT_TRUE(r.Add(a.fragments[1], now, m));
  EXPECT_EQ(m.source, TestMac(10));
  ASSERT_TRUE(r.Add(b.fragments[0], now, m));
  EXPECT_EQ(m.source, TestMac(11));
}

TEST(Reassembly, ReshapedMessageRestartsWithTheNewerFragment) {
  Reassembler r;
  auto longer = Split(2048, 6);
  auto shorter = Split(1500, 6);
  Message m;
  const auto now = Clock::now();
  EXPECT_FALSE(r.Add(longer.fragments[0], now, m));
  EXPECT_FALSE(r.Add(shorter.fragments[1], now, m));
  EXPECT_EQ(r.counts().inconsistentFragments, 1u);
  ASSERT_TRUE(r.Add(shorter.fragments[0], now, m));
  ExpectPayload(m, 1500, 6);
}

TEST(Reassembly, StaleHalvesExpire) {
  Reassembler r(8, 100ms);
  auto p = Split(2048, 7);
  Message m;
  const auto now = Clock::now();
  EXPECT_FALSE(r.Add(p.fragments[0], now, m));
  // The second half arrives too late: it cannot complete the expired first half.
  EXPECT_FALSE(r.Add(p.fragments[1], now + 200ms, m));
  EXPECT_EQ(r.counts().expired, 1u);
  EXPECT_EQ(r.pending(), 1u);
}

TEST(Reassembly, FloodOfHalvesStaysBounded) {
  Reassembler r(16, 2000ms);
  Message m;
  const auto now = Clock::now();
  for (uint32_t id = 0; id < 1000; ++id) {
    auto p = Split(1600, id);
    EXPECT_FALSE(r.Add(p.fragments[0], now + std::chrono::microseconds(id), m));
    ASSERT_LE(r.pending(), 16u);
  }
  EXPECT_EQ(r.counts().evicted, 1000u - 16u);
  // The newest survivors still complete.
  auto last = Split(1600, 999);
  ASSERT_TRUE(r.Add(last.fragments[1], now + 1ms, m));
  ExpectPayload(m, 1600, 999);
}

}  // namespace
}  // namespace tavi
