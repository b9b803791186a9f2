// What the console makes of an agent key, decided from what it knows: the key pinned for the
// agent's MAC (trust store), the key last verified from it (seen-key cache) and the key a
// reply now presents. Pure functions, no state and no locks: every rule of the channel's
// trust lives here and is tested as a table (trust_policy_test.cpp).
#pragma once

#include <optional>

#include "transport/core/crypto.h"

namespace tavi {

// Unreadable: the trust store cannot be read, so nothing counts as trusted.
enum class KeyState { Trusted = 0, Unknown = 1, Changed = 2, None = 3, Unreadable = 4 };

struct KnownKeys {
  std::optional<crypto::Key> pinned;
  std::optional<crypto::Key> seen;
};

// The state shown for a host (TVGetHostKey): of the key last seen, against the pin.
KeyState HostKeyState(const KnownKeys& known);

// Before an authenticated request sends anything: refused outright when what is already
// known decides it.
enum class BeforeHello { Go, RefuseChanged, RefuseNotTrusted };
BeforeHello DecideBeforeHello(const KnownKeys& known, bool prompting);

// Once the hello presented `key`: whether the sealed request may go out.
enum class AfterHello { Go, PinFirstUse, RefuseChanged, RefuseNotTrusted };
AfterHello DecideAfterHello(const std::optional<crypto::Key>& pinned, const crypto::Key& key,
                            bool prompting);

// A verified reply of a readable exchange (Poll, Refresh): taken only with the key this MAC
// must have, the pinned one, else the one seen before, if any.
bool ReadableReplyAcceptable(const KnownKeys& known, const crypto::Key& key);

// Which check a discovery reply is worth, from its form alone (before its signature).
// Pinned: the pinned key, checked first; Other: the shared lane; Pending: dropped unchecked,
// a reply of this MAC with its pinned key waits already (`pendingPinned`); HeldBack: dropped,
// a verified reply of another key is held back for this MAC already (`held`).
enum class DiscoveryLane { Pinned, Other, Pending, HeldBack };
DiscoveryLane LaneFor(const std::optional<crypto::Key>& pinned, const crypto::Key& key,
                      bool pendingPinned, bool held);

// A verified discovery reply: listed now, or held back until the window ends (another key
// than the pinned one: listed only if the pinned key does not answer).
enum class DiscoveryListing { List, HoldBack };
DiscoveryListing ListingFor(const std::optional<crypto::Key>& pinned, const crypto::Key& key);

}  // namespace tavi
