// One row of the host list: the host's last reply, owned by the row.
#pragma once

#include <atomic>
#include <cstdint>
#include <vector>

struct HostItem {
  // This row's own copy of the host's last reply frame (156 + 44 x nicCount bytes, nicCount
  // at most 10): discovery replies belong to the transport, so the row never points at them.
  std::vector<uint8_t> record;
  // 0 while a poll of the host runs; gates the panel's action buttons.
  std::atomic<int> ready{1};
  // 1 when some adapter of the host is on DHCP; kept by the details panel.
  int anyDhcp = 0;
  // Set on the interface thread when the row is deleted. A poll still holding the item (it
  // keeps a shared reference) then leaves rows, buttons and editRecord alone.
  bool removed = false;
};
