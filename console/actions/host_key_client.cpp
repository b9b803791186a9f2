#include "console/actions/host_key_client.h"

#include <windows.h>

#include "TaviClient.h"

namespace {

using SetTrustPromptingFn = void (*)(int);
using GetHostKeyFn = int (*)(const unsigned char*, const char*, char*, char*);
using TrustHostKeyFn = int (*)(const unsigned char*, const char*);

struct Exports {
  SetTrustPromptingFn setTrustPrompting = nullptr;
  GetHostKeyFn getHostKey = nullptr;
  TrustHostKeyFn trustHostKey = nullptr;
};

template <typename Fn>
Fn Lookup(HMODULE library, const char* name) {
  return reinterpret_cast<Fn>(reinterpret_cast<void*>(GetProcAddress(library, name)));
}

// The library is an import of the program, so it is loaded before any of this runs.
const Exports& Bound() {
  static const Exports exports = [] {
    Exports found;
    if (HMODULE library = GetModuleHandleA("TaviClient.dll")) {
      found.setTrustPrompting = Lookup<SetTrustPromptingFn>(library, "TVSetTrustPrompting");
      found.getHostKey = Lookup<GetHostKeyFn>(library, "TVGetHostKey");
      found.trustHostKey = Lookup<TrustHostKeyFn>(library, "TVTrustHostKey");
    }
    // All three or none: half a set would ask questions whose answer cannot be kept.
    if (!found.setTrustPrompting || !found.getHostKey || !found.trustHostKey) found = Exports{};
    return found;
  }();
  return exports;
}

}  // namespace

void EnableTrustPrompting() {
  if (Bound().setTrustPrompting) Bound().setTrustPrompting(1);
}

int QueryHostKey(const uint8_t agentMac[6], const char* hostName, char* fingerprint,
                 char* pinnedFingerprint) {
  if (fingerprint) fingerprint[0] = '\0';
  if (pinnedFingerprint) pinnedFingerprint[0] = '\0';
  if (!Bound().getHostKey) return kHostKeysUnsupported;
  const int state = Bound().getHostKey(agentMac, hostName, fingerprint, pinnedFingerprint);
  // The texts are the library's; end them within their buffers whatever it wrote.
  if (fingerprint) fingerprint[TV_FINGERPRINT_CHARS - 1] = '\0';
  if (pinnedFingerprint) pinnedFingerprint[TV_FINGERPRINT_CHARS - 1] = '\0';
  return state;
}

int PinHostKey(const uint8_t agentMac[6], const char* hostName) {
  return Bound().trustHostKey ? Bound().trustHostKey(agentMac, hostName) : 0;
}
