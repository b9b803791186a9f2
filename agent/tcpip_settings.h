// ApplySettings: host name, per-adapter TCP/IP registry values, DHCP client notification,
// default route, and roll-back to the previous adapter configuration on failure.
#pragma once

#include <winsock2.h>
#include <windows.h>
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
uint16_t ApplyTcpipSettings(const SettingsBody& body);
uint16_t EnableDhcpOnAdapter(HKEY key, uint8_t slot, const IP_ADAPTER_INDEX_MAP& interfaceEntry,
                             const NicEntry& nic);
uint16_t ApplyStaticAddress(HKEY key, const IP_ADAPTER_INDEX_MAP& interfaceEntry,
                            const NicEntry& nic);
// address and mask in network byte order.
uint16_t NotifyStaticAddress(const wchar_t* adapterName, DWORD address, DWORD mask);
int NotifyDhcpEnabled(const wchar_t* adapterName);
