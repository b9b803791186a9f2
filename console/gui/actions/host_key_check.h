// The console's side of host-key pinning: asked before every authenticated request.
#pragma once

#include <windows.h>

#include <cstddef>
#include <cstdint>

// Whether the authenticated request for the host of `storedReply` (agent MAC at bytes 4..9,
// host record from byte 28) may be handed to the transport. A pinned key that the host
// presents: yes at once. A key not pinned yet: the user is asked, and Yes pins it. A key
// other than the pinned one: refused with both fingerprints, unless the user deliberately
// replaces the pinned key. No verified key at all: refused with message 10007. A trust store
// that cannot be read: refused with message 10011 and the transport's reason (a bad line's
// number). Only the key whose fingerprint was shown is pinned (else message 10012). A refusal
// sends nothing; the caller re-enables its button and returns.
bool ConfirmHostKey(HWND owner, const uint8_t* storedReply, std::size_t length);
// Message 10011 with the transport's reason appended.
void ShowTrustStoreProblem();
