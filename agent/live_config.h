// What makes a TCP/IP change take effect at once on NT 6 and later, through the IP helper:
// the registry keeps the settings for the next start, these calls change the running stack.
// Addresses and gateways are frame numbers (host byte order).
#pragma once

#include <winsock2.h>
#include <windows.h>
#include <ws2ipdef.h>
#include <iphlpapi.h>

#include <cstdint>
#include <string>

// Duplicate address detection is watched this long after a fixed address is added (IPv4
// detection takes about three seconds).
constexpr DWORD kDadPollMs = 250;
constexpr int kDadPolls = 24;

// NT 6 and later take the IP helper path; NT 5.x keeps the DHCP client notification.
bool UsesIpHelperPath();
// Leading one bits of a mask (a mask with holes counts up to its first zero).
uint8_t PrefixLength(uint32_t mask);

// NO_ERROR when the address is on the interface afterwards (also when it already was).
DWORD AddUnicastAddress(ULONG interfaceIndex, uint32_t address, uint8_t prefixLength);
// NO_ERROR when the address is gone afterwards (also when it was never there).
DWORD RemoveUnicastAddress(ULONG interfaceIndex, uint32_t address);
// Watches a new address's duplicate detection: Status::IpConflict for a duplicate,
// Status::SettingFailed when the address vanished or cannot be read, else Status::Ok
// (preferred, or still tentative when the watch ends).
uint16_t WatchDuplicateDetection(ULONG interfaceIndex, uint32_t address);

// The default route through `gateway`: NO_ERROR when it exists afterwards / is gone
// afterwards, whether or not it did before.
DWORD AddDefaultRoute(ULONG interfaceIndex, uint32_t gateway);
DWORD RemoveDefaultRoute(ULONG interfaceIndex, uint32_t gateway);

// Whether the adapter's DNS servers can be set at run time (SetInterfaceDnsSettings is
// present and the build is one Microsoft lists for it).
bool CanSetInterfaceDns();
// `servers` as "NameServer" holds them; empty: the DHCP-provided ones.
DWORD SetInterfaceDnsServers(const wchar_t* adapterName, const std::string& servers);

// The adapter's GUID from the part of its name in braces; false when there is none.
bool AdapterNameGuid(const wchar_t* adapterName, GUID* guid);
