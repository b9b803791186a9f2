// ApplySettings: host name, per-adapter TCP/IP registry values (the settings Windows reads
// at start), their run-time effect (IP helper on NT 6 and later, the DHCP client's
// notification on NT 5.x), and roll-back to the previous configuration on failure.
#pragma once

#include <winsock2.h>
#include <windows.h>
#include <ws2ipdef.h>
#include <iphlpapi.h>

#include <cstdint>

#include "protocol/frames.h"

constexpr DWORD kLeaseWaitMs = 20000;
constexpr DWORD kLeasePollMs = 500;

// 0 Ok, 2 SettingFailed, 4 IpConflict; the thread is back in its own context on return.
// Nothing is written when an entry's mac is not that slot's adapter's any more (an adapter
// was added, removed or disabled since the console's discovery): 2.
uint16_t ApplyHostSettings(const SettingsBody& body);
// Whether every entry that would be applied names the adapter now in its slot.
bool SlotsStillMatch(const SettingsBody& body, const HostRecord& now);
// Applies the slots that exist in the body, the interface table and the 16 applied at most.
// An adapter key that cannot be opened, or a value that cannot be written, fails with 2.
uint16_t ApplyTcpipSettings(const SettingsBody& body);
// NT 5.x: the DHCP client's notification; address and mask in network byte order.
uint16_t NotifyStaticAddress(const wchar_t* adapterName, DWORD address, DWORD mask);
int NotifyDhcpEnabled(const wchar_t* adapterName);
