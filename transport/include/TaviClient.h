/* TaviClient.dll: the console's transport. Carries one request to one agent (or, for
 * Discover, to every agent of the segment) as raw Ethernet frames and hands back the reply. */
#pragma once

#include <stdint.h>

#if defined(_WIN32) && defined(TAVICLIENT_BUILD)
#define TAVICLIENT_API __declspec(dllexport)
#elif defined(_WIN32)
#define TAVICLIENT_API __declspec(dllimport)
#else
#define TAVICLIENT_API __attribute__((visibility("default")))
#endif

#ifdef __cplusplus
extern "C" {
#endif

/* Called once per discovery reply, with a buffer the library keeps until TVFreePackets. */
typedef void (*TVReplyHook)(const unsigned char* reply);

/* A work descriptor: four pointer-sized fields. */
typedef struct TVWork {
  unsigned char* request; /* request frame, sized by its code (and nicCount for code 2) */
  void* reply;            /* reply buffer sized by the code; for Discover: TVPacketList* */
  union {
    TVReplyHook hook;     /* Discover: called for every reply; other codes: null */
    void* data;           /* TVDoPolling: the console's own value, not used by the library */
  };
  void* event;            /* the console's completion event; not used by the library */
} TVWork;

/* Discovery replies kept by the library: an opaque list head owned by the console. */
typedef void* TVPacketList;

TAVICLIENT_API int TVInitialize(void);
TAVICLIENT_API void TVCleanup(void);
TAVICLIENT_API int TVGetAdpaterCount(void);
TAVICLIENT_API int TVIsAdapterConnected(int adapterIndex);
/* Blocks until the exchange ends. 0 = the adapter is unusable; otherwise the reply buffer's
 * status holds the outcome (3 when no reply came, 17 when memory ran out). Discover returns
 * TV_HOST_LIMIT when the packet list is full (TV_MAX_HOSTS replies, all adapters of one
 * discovery together): no more hosts are listed until TVFreePackets. */
#define TV_HOST_LIMIT 2
#define TV_MAX_HOSTS 4096
TAVICLIENT_API int TVDoWork(TVWork* work, void** cancelHandle);
/* Sends Poll until the host answers or the poll window ends; non-zero = answered. */
TAVICLIENT_API int TVDoPolling(TVWork* work);
/* Makes a running TVDoWork return soon; null or the handle of ended work is accepted. */
TAVICLIENT_API void TVCancel(void* cancelHandle);
TAVICLIENT_API void TVFreePackets(TVPacketList* packetList);
/* The NicEntry (44 bytes) of the agent adapter that sent `reply`; never null. */
TAVICLIENT_API const unsigned char* TVGetMACData(const unsigned char* reply, void* reserved);
TAVICLIENT_API void TVSetDiscoverTimeout(int seconds); /* 0..600, default 5 */
TAVICLIENT_API int TVGetDiscoverTimeout(void);
TAVICLIENT_API void TVSetSetTimeout(int seconds); /* 0..600, default 30 */
TAVICLIENT_API int TVGetSetTimeout(void);
TAVICLIENT_API void TVSetRetryCount(int count); /* 0..10, default 3 */
TAVICLIENT_API int TVGetRetryCount(void);

/* Agent keys. Every reply is authenticated by the agent's Ed25519 key and every request that
 * carries credentials travels encrypted; the library pins each agent's key in a per-user
 * trust store (%APPDATA%\Netvane\known_agents; NETVANE_TRUST_STORE = full path, a test
 * setting). */
#define TV_FINGERPRINT_CHARS 96 /* buffer size for a fingerprint text, NUL included */
#define TV_KEY_TRUSTED 0        /* pinned, and the host presents that key */
#define TV_KEY_UNKNOWN 1        /* a verified key was seen for this agent, none pinned */
#define TV_KEY_CHANGED 2        /* pinned key differs from the one the host now presents */
#define TV_KEY_NONE 3           /* no verified key seen for this agent MAC yet */
#define TV_KEY_STORE_UNREADABLE 4 /* the trust store exists but cannot be read: nothing is trusted */
/* 1: the program decides trust: an authenticated request (codes 2, 3, 4, 5, 7) to an agent
 * whose key is not pinned is refused before anything secret is sent, reply status 10007
 * HostKeyNotTrusted; a changed key gives 10006 HostKeyChanged. 0 (default, programs that use
 * only the original exports): trust on first use, pinned silently; a changed key still
 * refuses with 10006. */
TAVICLIENT_API void TVSetTrustPrompting(int enabled);
/* Discovery replies the last TVDoWork discovery of this process dropped before their
 * signature could be checked (a flooded segment: real hosts may be missing from its list;
 * the console says so with message 10010). */
TAVICLIENT_API unsigned long TVGetUncheckedReplies(void);
/* State of the key agentMac presented in its last verified reply, compared with the trust
 * store (read again for this call). fingerprint / pinnedFingerprint (TV_FINGERPRINT_CHARS each) may be null; filled with
 * the text form, empty when none. hostName is not used (kept for the store's sake). */
TAVICLIENT_API int TVGetHostKey(const unsigned char agentMac[6], const char* hostName,
                                char* fingerprint, char* pinnedFingerprint);
/* Pins (or deliberately replaces) the key last verified from agentMac under hostName.
 * 1 = stored; 0 = no verified key seen for that MAC, or the store could not be read or
 * written. Whatever key was last verified is pinned: a program that showed a fingerprint
 * uses TVTrustHostKeyEx. */
TAVICLIENT_API int TVTrustHostKey(const unsigned char agentMac[6], const char* hostName);
/* Pins the key whose fingerprint (the text TVGetHostKey gave) was shown to the user, under
 * hostName. 1 = stored; otherwise a status for the message table, nothing pinned:
 * 10007 no verified key seen for that MAC; 10011 the trust store cannot be read
 * (TVGetTrustStoreProblem says why); 10012 the key last verified from agentMac is no longer
 * the one shown; 10013 the trust store could not be written; 0 null MAC or fingerprint. */
#define TV_STATUS_TRUST_STORE_UNREADABLE 10011
#define TV_STATUS_KEY_CHANGED_SINCE_SHOWN 10012
#define TV_STATUS_TRUST_STORE_NOT_WRITTEN 10013
TAVICLIENT_API int TVTrustHostKeyEx(const unsigned char agentMac[6], const char* hostName,
                                    const char* shownFingerprint);
/* Why the trust store cannot be read (its path, the number of a bad line), NUL-ended within
 * `chars`; returns 0 and an empty text when it can be read. An authenticated request the
 * store stopped has reply status 10011. */
TAVICLIENT_API int TVGetTrustStoreProblem(char* text, int chars);

#ifdef __cplusplus
}
#endif
