// The audit trail of authenticated requests: one event per request, built from the frame
// (console MAC, account, what was asked; never a password) and the host records before
// and after. A check that the flood guard refused without calling the logon is not told
// one by one: the back-off event covers those, so a flood cannot fill the log.
#pragma once

#include <cstdint>

#include "agent/request_loop.h"
#include "protocol/frames.h"

// `before`: the record taken after the credentials passed and before anything was applied;
// null when nothing was (refused credentials, or a request that changes no setting).
void AuditRequest(const RequestLoopState& state, const uint8_t* request,
                  const HostRecord* before, const HostRecord* after, uint16_t status);

// After a failed check: the event that the sender's back-off has just begun.
void AuditCredentialFailure(const FloodGuard& guard, const uint8_t sender[6]);
