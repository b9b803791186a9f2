// The request thread: brings up the transport, then receives, drops repeats, dispatches on
// the request code and sends the reply, one request at a time.
#pragma once

#include <windows.h>

#include <cstdint>

#include "agent/flood_guard.h"
#include "protocol/frames.h"

// Set to 1 by the service shell before the threads start, cleared by the stop sequence; a
// plain value, a stale read only delays the end by one pass.
extern volatile LONG agentRunning;

// Request-thread state that lives across passes of the loop.
struct RequestLoopState {
  uint8_t lastHeader[kHeaderLength];
  uint8_t sender[6];  // Ethernet source of the request being served
  int credentialsChecked;  // the request's credentials reached the logon (for the audit)
  FloodGuard guard;
};

// Zero header, empty guard.
void InitRequestLoopState(RequestLoopState& state);

// Serves one received frame: fills `reply` (2048 zeroed bytes) and returns 1 when it is to
// be sent, 0 when the frame is dropped. Bytes beyond the received frame are zero, so a
// short frame reads as zero-filled. Expensive requests over the sender's or the agent's budget
// are dropped (0, header not remembered); credential checks in back-off are refused (1).
int HandleRequest(RequestLoopState& state, const uint8_t* request, uint8_t* reply);

DWORD WINAPI RequestLoop(LPVOID unused);
