/* TaviServer.dll: the agent's transport. Receives request frames from consoles on every
 * adapter of the host and sends each reply back to the console that asked. */
#pragma once

#include <stdint.h>

#if defined(_WIN32) && defined(TAVISERVER_BUILD)
#define TAVISERVER_API __declspec(dllexport)
#elif defined(_WIN32)
#define TAVISERVER_API __declspec(dllimport)
#else
#define TAVISERVER_API __attribute__((visibility("default")))
#endif

#ifdef __cplusplus
extern "C" {
#endif

TAVISERVER_API int TVInitialize(void); /* 0 = ready */
TAVISERVER_API void TVCleanup(void);   /* also makes a pending TVRecv return 0 at once */
TAVISERVER_API void TVSetMagicNumber(uint32_t magicNumber);
/* buffer: 2048 zeroed bytes; *length: 2048 on entry, the frame's length on return.
 * Non-zero = one request frame placed; 0 = none (returns at least every 500 ms). */
TAVISERVER_API int TVRecv(unsigned char* buffer, uint32_t* length);
/* Ethernet source of the request the last successful TVRecv placed: 1 = mac filled, 0 = none. */
TAVISERVER_API int TVGetLastSender(unsigned char mac[6]);
/* The agent's word that the sender of that request passed a credential check: its hellos
 * keep a share of the agent's hello budget for a while, even while the segment floods. */
TAVISERVER_API void TVTrustLastSender(void);
/* Sends the reply (length derived from its code and nicCount) to the requesting console. */
TAVISERVER_API int TVSend(unsigned char* buffer);
TAVISERVER_API int TVIsAdapterConnected(uint8_t slot);
/* Board model name (at most 15 characters and a NUL) into modelName; 0 when unknown. */
TAVISERVER_API int TVGetOrvaneInfo(unsigned char* scratch, int scratchLength, char* modelName,
                                   int modelNameLength);
/* Reopens the adapters; tolerates a TVRecv or TVSend in progress on another thread. */
TAVISERVER_API void TVRestart(void);

#ifdef __cplusplus
}
#endif
