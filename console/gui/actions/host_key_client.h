// The transport's host-key exports (TVSetTrustPrompting, TVGetHostKey, TVTrustHostKey and, where
// the library has them, TVTrustHostKeyEx and TVGetTrustStoreProblem), bound at run time in the
// TaviClient.dll the console runs with. A library without the first three pins no keys at all;
// the console then runs as before, asking nothing.
#pragma once

#include <cstdint>
#include <string>

// What QueryHostKey reports when the library has no host-key exports.
constexpr int kHostKeysUnsupported = -1;

// TVSetTrustPrompting(1): this console asks the user before a key is trusted.
void EnableTrustPrompting();
// TVGetHostKey, or kHostKeysUnsupported with both texts emptied.
int QueryHostKey(const uint8_t agentMac[6], const char* hostName, char* fingerprint,
                 char* pinnedFingerprint);
// Pins the key whose fingerprint the user was shown: 1 when pinned, else a status of the
// message table (TVTrustHostKeyEx; a library without it pins the key it last verified, as
// TVTrustHostKey does, and a failure there reads 10007).
int PinHostKey(const uint8_t agentMac[6], const char* hostName, const char* shownFingerprint);
// TVGetTrustStoreProblem: why the store cannot be read, empty when it can or when unknown.
std::string TrustStoreProblem();
