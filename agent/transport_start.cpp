#include "agent/transport_start.h"

#include "TaviServer.h"
#include "agent/audit_text.h"
#include "agent/request_loop.h"
#include "transport/core/identity.h"
#include "transport/core/key_store.h"
#include "transport/core/pcap_api.h"

#include <vector>

HANDLE transportWakeEvent = CreateEventW(nullptr, FALSE, FALSE, nullptr);
DWORD transportRetryMs = kCaptureRetrySeconds * 1000;

namespace {

std::vector<uint8_t> PublicKeyAt(const wchar_t* path) {
  std::vector<uint8_t> key(tavi::crypto::kKeyLength);
  DWORD size = static_cast<DWORD>(key.size());
  if (RegGetValueW(HKEY_LOCAL_MACHINE, path, tavi::kIdentityPublicKeyValue, RRF_RT_REG_BINARY,
                   nullptr, key.data(), &size) != ERROR_SUCCESS ||
      size != key.size())
    return {};
  return key;
}

// The stored public key (in clear beside the sealed private key); empty when there is none.
// Also where an earlier version kept it, so that moving the key at start is no new identity.
std::vector<uint8_t> StoredPublicKey() {
  std::vector<uint8_t> key = PublicKeyAt(tavi::kAgentIdentityKey);
  return key.empty() ? PublicKeyAt(tavi::kLegacyIdentityKey) : key;
}

// The transport makes the identity key on its first start, and replaces one it finds
// damaged: either is told with the new key's fingerprint, for the out-of-band check.
void ReportIdentityChange(const std::vector<uint8_t>& before) {
  const std::vector<uint8_t> after = StoredPublicKey();
  if (after.empty() || after == before) return;
  ReportAgentEvent(IdentityEvent(!before.empty(), tavi::FormatFingerprint(after.data())));
}

}  // namespace

void WakeTransportStart() {
  if (transportWakeEvent != nullptr) SetEvent(transportWakeEvent);
}

int StartTransportWhenReady() {
  bool missingReported = false;
  bool failureReported = false;
  while (agentRunning != 0) {
    const std::vector<uint8_t> keyBefore = StoredPublicKey();
    const int status = TVInitialize();
    if (status == 0) {
      ReportIdentityChange(keyBefore);
      // The agent's own look at the library says which file the transport took (the
      // transport loads it by the same rules, and a loaded library is never unloaded).
      tavi::LoadPcap();
      ReportAgentEvent(CaptureLoadedEvent(tavi::PcapLoadedFrom()));
      return 1;
    }
    TVCleanup();
    // Each outage is told once, not at every attempt.
    if (tavi::LoadPcap() == nullptr) {
      if (!missingReported) ReportAgentEvent(CaptureMissingEvent(tavi::PcapLibraryPaths()));
      missingReported = true;
    } else {
      if (!failureReported) ReportAgentEvent(TransportFailedEvent(status));
      failureReported = true;
    }
    if (agentRunning == 0) break;
    if (transportWakeEvent != nullptr)
      WaitForSingleObject(transportWakeEvent, transportRetryMs);
    else
      Sleep(transportRetryMs);
  }
  return 0;
}
