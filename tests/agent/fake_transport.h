// A stand-in for TaviServer.dll: request frames are queued by the test, replies are
// captured byte for byte, and every call is noted in an event log.
#pragma once

#include <stdint.h>

#if defined(FAKE_TRANSPORT_BUILD)
#define FAKE_TRANSPORT_API __declspec(dllexport)
#else
#define FAKE_TRANSPORT_API __declspec(dllimport)
#endif

extern "C" {
// Empty queue and logs, every adapter connected, model "TestBoard", sends succeed.
FAKE_TRANSPORT_API void FakeTransportReset(void);
// Frames queued without a sender come from FakeTransportDefaultSender (02:00:00:00:C0:01).
FAKE_TRANSPORT_API void FakeTransportQueueFrame(const uint8_t* frame, uint32_t length);
FAKE_TRANSPORT_API void FakeTransportQueueFrameFrom(const uint8_t* sender /* 6 bytes */,
                                                    const uint8_t* frame, uint32_t length);
// Called by TVRecv when the queue is empty, before it returns 0. Without a hook TVRecv
// waits up to 200 ms (or until TVCleanup) and returns 0, like the real library when idle.
FAKE_TRANSPORT_API void FakeTransportSetIdleHook(void (*hook)(void));
FAKE_TRANSPORT_API void FakeTransportSetInitFailures(int count);
// Non-zero: TVInitialize fails while the capture library cannot be loaded, as TaviServer's.
FAKE_TRANSPORT_API void FakeTransportRequireCapture(int require);
// TVInitialize stores this 32-byte public key as the agent's identity, as TaviServer does
// when it makes or replaces the key.
FAKE_TRANSPORT_API void FakeTransportStoreKeyOnInit(const uint8_t* publicKey);
// Result of the next sends, in order; once used up sends succeed.
FAKE_TRANSPORT_API void FakeTransportFailNextSends(int count);
FAKE_TRANSPORT_API void FakeTransportSetConnected(uint8_t slot, int connected);
FAKE_TRANSPORT_API void FakeTransportSetModel(const char* model /* null: not known */);

FAKE_TRANSPORT_API int FakeTransportSentCount(void);
// The whole 2048-byte reply buffer as TVSend saw it (also the sends that "failed").
FAKE_TRANSPORT_API void FakeTransportSent(int index, uint8_t* out /* 2048 bytes */);
FAKE_TRANSPORT_API uint32_t FakeTransportMagic(void);
FAKE_TRANSPORT_API int FakeTransportMagicCalls(void);
FAKE_TRANSPORT_API int FakeTransportRestartCalls(void);
// Comma-separated: init, cleanup, magic, recv, send, restart, and whatever tests note.
FAKE_TRANSPORT_API void FakeTransportNote(const char* event);
FAKE_TRANSPORT_API void FakeTransportEvents(char* out, int capacity);
}
