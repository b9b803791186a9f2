#include "transport/core/trust_policy.h"

namespace tavi {

namespace {
bool Same(const crypto::Key& a, const crypto::Key& b) {
  return crypto::Equal(a.data(), b.data(), a.size());
}
}  // namespace

KeyState HostKeyState(const KnownKeys& known) {
  if (!known.seen) return KeyState::None;
  if (!known.pinned) return KeyState::Unknown;
  return Same(*known.pinned, *known.seen) ? KeyState::Trusted : KeyState::Changed;
}

BeforeHello DecideBeforeHello(const KnownKeys& known, bool prompting) {
  if (known.pinned && known.seen && !Same(*known.pinned, *known.seen))
    return BeforeHello::RefuseChanged;
  if (!known.pinned && known.seen && prompting) return BeforeHello::RefuseNotTrusted;
  return BeforeHello::Go;
}

AfterHello DecideAfterHello(const std::optional<crypto::Key>& pinned, const crypto::Key& key,
                            bool prompting) {
  if (pinned) return Same(*pinned, key) ? AfterHello::Go : AfterHello::RefuseChanged;
  return prompting ? AfterHello::RefuseNotTrusted : AfterHello::PinFirstUse;
}

bool ReadableReplyAcceptable(const KnownKeys& known, const crypto::Key& key) {
  const auto& expected = known.pinned ? known.pinned : known.seen;
  return !expected || Same(*expected, key);
}

DiscoveryLane LaneFor(const std::optional<crypto::Key>& pinned, const crypto::Key& key,
                      bool pendingPinned, bool held) {
  if (!pinned) return DiscoveryLane::Other;
  if (Same(*pinned, key)) return pendingPinned ? DiscoveryLane::Pending : DiscoveryLane::Pinned;
  // Another key for a pinned MAC: one held back is enough.
  return held ? DiscoveryLane::HeldBack : DiscoveryLane::Other;
}

DiscoveryListing ListingFor(const std::optional<crypto::Key>& pinned, const crypto::Key& key) {
  return pinned && !Same(*pinned, key) ? DiscoveryListing::HoldBack : DiscoveryListing::List;
}

}  // namespace tavi
