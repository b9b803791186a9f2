// The transport's host-key exports (TVSetTrustPrompting, TVGetHostKey, TVTrustHostKey), bound at
// run time in the TaviClient.dll the console runs with. A library without them pins no keys at
// all; the console then runs as before, asking nothing.
#pragma once

#include <cstdint>

// What QueryHostKey reports when the library has no host-key exports.
constexpr int kHostKeysUnsupported = -1;

// TVSetTrustPrompting(1): this console asks the user before a key is trusted.
void EnableTrustPrompting();
// TVGetHostKey, or kHostKeysUnsupported with both texts emptied.
int QueryHostKey(const uint8_t agentMac[6], const char* hostName, char* fingerprint,
                 char* pinnedFingerprint);
// TVTrustHostKey; 0 when the library cannot pin.
int PinHostKey(const uint8_t agentMac[6], const char* hostName);
