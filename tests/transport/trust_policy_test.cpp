// The console's trust rules as a table: every combination of pinned, seen and presented key.
#include "transport/core/trust_policy.h"

#include <gtest/gtest.h>

namespace tavi {
namespace {

const crypto::Key kA = [] { crypto::Key k{}; k.fill(0xA1); return k; }();
const crypto::Key kB = [] { crypto::Key k{}; k.fill(0xB2); return k; }();
const std::optional<crypto::Key> kNone;

TEST(TrustPolicy, HostKeyStateOfEveryPinnedAndSeenCombination) {
  struct Row { std::optional<crypto::Key> pinned, seen; KeyState state; };
  const Row rows[] = {
      {kNone, kNone, KeyState::None},    {kA, kNone, KeyState::None},
      {kNone, kA, KeyState::Unknown},    {kA, kA, KeyState::Trusted},
      {kA, kB, KeyState::Changed},
  };
  for (const Row& r : rows) EXPECT_EQ(HostKeyState({r.pinned, r.seen}), r.state);
}

TEST(TrustPolicy, AuthenticatedRequestsRefuseBeforeAndAfterTheHello) {
  struct Before { std::optional<crypto::Key> pinned, seen; bool prompting; BeforeHello decision; };
  const Before before[] = {
      {kNone, kNone, false, BeforeHello::Go},         {kNone, kNone, true, BeforeHello::Go},
      {kNone, kA, false, BeforeHello::Go},            {kNone, kA, true, BeforeHello::RefuseNotTrusted},
      {kA, kA, true, BeforeHello::Go},                {kA, kNone, true, BeforeHello::Go},
      {kA, kB, false, BeforeHello::RefuseChanged},    {kA, kB, true, BeforeHello::RefuseChanged},
  };
  for (const Before& r : before)
    EXPECT_EQ(DecideBeforeHello({r.pinned, r.seen}, r.prompting), r.decision);

  struct After { std::optional<crypto::Key> pinned; crypto::Key presented; bool prompting; AfterHello decision; };
  const After after[] = {
      {kA, kA, false, AfterHello::Go},               {kA, kA, true, AfterHello::Go},
      {kA, kB, false, AfterHello::RefuseChanged},    {kA, kB, true, AfterHello::RefuseChanged},
      {kNone, kB, false, AfterHello::PinFirstUse},   {kNone, kB, true, AfterHello::RefuseNotTrusted},
  };
  for (const After& r : after)
    EXPECT_EQ(DecideAfterHello(r.pinned, r.presented, r.prompting), r.decision);
}

TEST(TrustPolicy, ReadableRepliesNeedThePinnedElseTheSeenKey) {
  struct Row { std::optional<crypto::Key> pinned, seen; crypto::Key presented; bool taken; };
  const Row rows[] = {
      {kNone, kNone, kA, true},  {kNone, kA, kA, true}, {kNone, kA, kB, false},
      {kA, kNone, kA, true},     {kA, kNone, kB, false},
      {kA, kB, kA, true},        {kA, kB, kB, false},  // the pin wins over what was seen
  };
  for (const Row& r : rows) EXPECT_EQ(ReadableReplyAcceptable({r.pinned, r.seen}, r.presented), r.taken);
}

TEST(TrustPolicy, DiscoveryLanesAndListing) {
  struct Row { std::optional<crypto::Key> pinned; crypto::Key presented; bool pending, held; DiscoveryLane lane; };
  const Row rows[] = {
      {kNone, kA, false, false, DiscoveryLane::Other},   {kNone, kA, true, true, DiscoveryLane::Other},
      {kA, kA, false, false, DiscoveryLane::Pinned},     {kA, kA, true, false, DiscoveryLane::Pending},
      {kA, kA, false, true, DiscoveryLane::Pinned},      // a held impostor never blocks the pin
      {kA, kB, false, false, DiscoveryLane::Other},      {kA, kB, true, false, DiscoveryLane::Other},
      {kA, kB, false, true, DiscoveryLane::HeldBack},
  };
  for (const Row& r : rows) EXPECT_EQ(LaneFor(r.pinned, r.presented, r.pending, r.held), r.lane);
  EXPECT_EQ(ListingFor(kNone, kA), DiscoveryListing::List);
  EXPECT_EQ(ListingFor(kA, kA), DiscoveryListing::List);
  EXPECT_EQ(ListingFor(kA, kB), DiscoveryListing::HoldBack);
}

}  // namespace
}  // namespace tavi
