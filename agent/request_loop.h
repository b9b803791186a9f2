// The request thread: brings up the transport, then receives, drops repeats, dispatches on
// the request code and sends the reply, one request at a time.
#pragma once

#include <windows.h>

#include <cstdint>

#include "protocol/frames.h"

// Set to 1 by the service shell before the threads start, cleared by the stop sequence; a
// plain value, a stale read only delays the end by one pass.
extern volatile LONG agentRunning;

// Request-thread state that lives across passes of the loop.
struct RequestLoopState {
  uint8_t lastHeader[kHeaderLength];
  int restartPending;
};

// Serves one received frame: fills `reply` (2048 zeroed bytes) and returns 1 when it is to
// be sent, 0 when the frame is dropped. Bytes beyond the received frame are zero, so a
// short frame reads as zero-filled.
int HandleRequest(RequestLoopState& state, const uint8_t* request, uint8_t* reply);

DWORD WINAPI RequestLoop(LPVOID unused);
