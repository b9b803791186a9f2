// nvctl's use of TaviClient.dll: start-up with the options of Netvane.cfg, discovery with
// hosts handed over as they answer, and one exchange at a time.
#pragma once

#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "console/nvctl/host_view.h"

class TransportSession {
 public:
  TransportSession() = default;
  ~TransportSession();
  TransportSession(const TransportSession&) = delete;
  TransportSession& operator=(const TransportSession&) = delete;

  // TVInitialize's result: 0 = ready, else a message code.
  int Start();

  struct Discovery {
    int workResult = 0;  // of the last adapter tried; 0 = no adapter could be used
    int adapterCount = 0;
    unsigned long unchecked = 0;  // replies the transport could not check (a flooded segment)
    std::vector<HostView> hosts;
  };
  // Discovers on one console adapter or on every connected one; `onHost` runs for each host
  // as it answers (on the transport's thread, one at a time). A progress line goes to stderr.
  Discovery Discover(std::optional<int> adapter, const std::function<void(const HostView&)>& onHost);

  // One exchange; `reply` is sized by the caller. TVDoWork's result.
  int Exchange(std::vector<uint8_t>& request, std::vector<uint8_t>& reply);

  // After a change: waits until the host answers again, then fetches its fresh record into
  // `host`. False when it did not answer or the refresh was refused.
  bool PollAndRefresh(HostView& host);

 private:
  bool started_ = false;
  void* packetList_ = nullptr;
};

// Applies the transport options of Netvane.cfg, found as the dialog console finds it.
void LoadTransportOptions();
