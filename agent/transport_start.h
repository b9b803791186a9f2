// Bringing the transport up. Without the capture library (Npcap not installed yet, or
// removed in an upgrade) the request thread does not end: it tries again every
// kCaptureRetrySeconds and whenever the device-watch thread sees a network interface come
// or go, and answers as soon as the transport starts. One event says what is missing and
// where it was looked for, one that it was loaded; the service stays RUNNING meanwhile.
#pragma once

#include <windows.h>

// Auto-reset: set by the device-watch thread on a network interface change and by the stop
// sequence, so that a waiting request thread tries again (or sees the stop) at once.
extern HANDLE transportWakeEvent;
// The pause between attempts; tests shorten it.
extern DWORD transportRetryMs;

// 1 once the transport is up; 0 when the running flag is cleared first.
int StartTransportWhenReady();

// Wakes a waiting StartTransportWhenReady.
void WakeTransportStart();
