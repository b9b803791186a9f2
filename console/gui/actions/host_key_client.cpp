#include "console/gui/actions/host_key_client.h"

#include <windows.h>

#include "TaviClient.h"
#include "protocol/frames.h"

namespace {

using SetTrustPromptingFn = void (*)(int);
using GetHostKeyFn = int (*)(const unsigned char*, const char*, char*, char*);
using TrustHostKeyFn = int (*)(const unsigned char*, const char*);
using TrustShownHostKeyFn = int (*)(const unsigned char*, const char*, const char*);
using GetTrustStoreProblemFn = int (*)(char*, int);

struct Exports {
  SetTrustPromptingFn setTrustPrompting = nullptr;
  GetHostKeyFn getHostKey = nullptr;
  TrustHostKeyFn trustHostKey = nullptr;
  TrustShownHostKeyFn trustShownHostKey = nullptr;  // optional: libraries before it lack it
  GetTrustStoreProblemFn getTrustStoreProblem = nullptr;
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
      found.trustShownHostKey = Lookup<TrustShownHostKeyFn>(library, "TVTrustHostKeyEx");
      found.getTrustStoreProblem = Lookup<GetTrustStoreProblemFn>(library, "TVGetTrustStoreProblem");
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

int PinHostKey(const uint8_t agentMac[6], const char* hostName, const char* shownFingerprint) {
  if (Bound().trustShownHostKey) return Bound().trustShownHostKey(agentMac, hostName, shownFingerprint);
  if (Bound().trustHostKey && Bound().trustHostKey(agentMac, hostName) == 1) return 1;
  return Status::HostKeyNotTrusted;
}

std::string TrustStoreProblem() {
  if (!Bound().getTrustStoreProblem) return std::string();
  char text[1024] = {};
  Bound().getTrustStoreProblem(text, static_cast<int>(sizeof text));
  text[sizeof text - 1] = '\0';
  return text;
}
