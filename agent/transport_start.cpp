#include "agent/transport_start.h"

#include "TaviServer.h"
#include "agent/audit_text.h"
#include "agent/request_loop.h"
#include "transport/core/pcap_api.h"

HANDLE transportWakeEvent = CreateEventW(nullptr, FALSE, FALSE, nullptr);
DWORD transportRetryMs = kCaptureRetrySeconds * 1000;

void WakeTransportStart() {
  if (transportWakeEvent != nullptr) SetEvent(transportWakeEvent);
}

int StartTransportWhenReady() {
  bool missingReported = false;
  bool failureReported = false;
  while (agentRunning != 0) {
    const int status = TVInitialize();
    if (status == 0) {
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
