// The host's network adapters as the transports see them: pcap device name, MAC, interface
// index and link state, from the IP helper on Windows and from sysfs natively.
//
// The test setting TAVI_TEST_DEVICES (test_settings.h), a comma-separated list of adapter
// names, limits both transports to those adapters (a lab or a test with several interfaces
// in one namespace). A name matches the adapter's description (under Wine the Linux
// interface name, e.g. "tvt0"), its pcap device name or its GUID, ignoring case. On the
// agent side the other slots keep their numbers and stay closed.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "transport/core/wire.h"

namespace tavi {

struct AdapterInfo {
  std::string device;  // pcap device name; empty for a slot that cannot be described
  std::string label;   // description; the interface name natively and under Wine
  std::string guid;    // Windows adapter GUID with braces; empty natively
  Mac mac{};
  uint32_t ifIndex = 0;
};

// The console's Ethernet adapters, by ascending interface index.
std::vector<AdapterInfo> ListConsoleAdapters();
// The agent's adapter slots: the IP interface table sorted by interface index.
std::vector<AdapterInfo> ListAgentSlots();
// The adapter's link state as the system reports it now.
bool AdapterLinkUp(const AdapterInfo& adapter);
// False when TAVI_TEST_DEVICES is set and does not name the adapter.
bool AdapterSelected(const AdapterInfo& adapter);
// A selection given as text, for tests: the same rules as TAVI_TEST_DEVICES.
bool AdapterSelectedBy(const AdapterInfo& adapter, const char* selection);

}  // namespace tavi
