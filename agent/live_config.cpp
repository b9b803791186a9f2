#include "agent/live_config.h"

#include <cstring>
#include <cwchar>
#include <vector>

#include "agent/system_calls.h"
#include "protocol/frames.h"

namespace {

constexpr ULONG kInfiniteLifetime = 0xFFFFFFFF;
// The route metric is an offset to the interface metric on NT 6: the route keeps the
// interface's preference, and "DefaultGatewayMetric" holds the same 1 for the next start.
constexpr ULONG kRouteMetricOffset = 1;
constexpr DWORD kBuildWithInterfaceDns = 19041;

SOCKADDR_INET Ipv4(uint32_t address) {
  SOCKADDR_INET socketAddress;
  std::memset(&socketAddress, 0, sizeof socketAddress);
  socketAddress.Ipv4.sin_family = AF_INET;
  socketAddress.Ipv4.sin_addr.s_addr = htonl(address);
  return socketAddress;
}

MIB_UNICASTIPADDRESS_ROW AddressRow(ULONG interfaceIndex, uint32_t address) {
  MIB_UNICASTIPADDRESS_ROW row;
  std::memset(&row, 0, sizeof row);
  row.Address = Ipv4(address);
  row.InterfaceIndex = interfaceIndex;
  row.PrefixOrigin = IpPrefixOriginManual;
  row.SuffixOrigin = IpSuffixOriginManual;
  row.ValidLifetime = kInfiniteLifetime;
  row.PreferredLifetime = kInfiniteLifetime;
  return row;
}

MIB_IPFORWARD_ROW2 DefaultRouteRow(ULONG interfaceIndex, uint32_t gateway) {
  MIB_IPFORWARD_ROW2 row;
  std::memset(&row, 0, sizeof row);
  row.InterfaceIndex = interfaceIndex;
  row.DestinationPrefix.Prefix = Ipv4(0);
  row.DestinationPrefix.PrefixLength = 0;
  row.NextHop = Ipv4(gateway);
  row.ValidLifetime = kInfiniteLifetime;
  row.PreferredLifetime = kInfiniteLifetime;
  row.Metric = kRouteMetricOffset;
  row.Protocol = static_cast<NL_ROUTE_PROTOCOL>(MIB_IPPROTO_NETMGMT);
  row.Immortal = TRUE;
  row.Origin = NlroManual;
  return row;
}

// One create or delete of the running stack; `alreadyDone` (the entry exists / is gone
// already) counts as done. A function the system lacks is ERROR_PROC_NOT_FOUND.
template <typename Row>
DWORD Settle(DWORD(WINAPI* call)(const Row*), const Row& row, DWORD alreadyDone) {
  if (call == nullptr) return ERROR_PROC_NOT_FOUND;
  const DWORD result = call(&row);
  return result == alreadyDone ? NO_ERROR : result;
}

int HexDigit(wchar_t c) {
  if (c >= L'0' && c <= L'9') return c - L'0';
  if (c >= L'a' && c <= L'f') return c - L'a' + 10;
  if (c >= L'A' && c <= L'F') return c - L'A' + 10;
  return -1;
}

// `count` hex digits from text; false on anything else (text ends at its terminator).
bool ReadHex(const wchar_t*& text, int count, unsigned long long* value) {
  *value = 0;
  for (int i = 0; i < count; ++i) {
    const int digit = HexDigit(*text);
    if (digit < 0) return false;
    *value = (*value << 4) | static_cast<unsigned>(digit);
    ++text;
  }
  return true;
}

bool Expect(const wchar_t*& text, wchar_t c) {
  if (*text != c) return false;
  ++text;
  return true;
}

}  // namespace

bool UsesIpHelperPath() { return agentSystem.readVersion().major >= 6; }

uint8_t PrefixLength(uint32_t mask) {
  uint8_t bits = 0;
  while (bits < 32 && (mask & (0x80000000u >> bits)) != 0) ++bits;
  return bits;
}

DWORD AddUnicastAddress(ULONG interfaceIndex, uint32_t address, uint8_t prefixLength) {
  MIB_UNICASTIPADDRESS_ROW row = AddressRow(interfaceIndex, address);
  row.OnLinkPrefixLength = prefixLength;  // the default would be a /32 host address
  return Settle(agentSystem.createUnicastIpAddressEntry, row, ERROR_OBJECT_ALREADY_EXISTS);
}

DWORD RemoveUnicastAddress(ULONG interfaceIndex, uint32_t address) {
  return Settle(agentSystem.deleteUnicastIpAddressEntry, AddressRow(interfaceIndex, address),
                ERROR_NOT_FOUND);
}

uint16_t WatchDuplicateDetection(ULONG interfaceIndex, uint32_t address) {
  if (agentSystem.getUnicastIpAddressEntry == nullptr) return Status::SettingFailed;
  for (int poll = 0; poll < kDadPolls; ++poll) {
    MIB_UNICASTIPADDRESS_ROW row = AddressRow(interfaceIndex, address);
    if (agentSystem.getUnicastIpAddressEntry(&row) != NO_ERROR) return Status::SettingFailed;
    if (row.DadState == IpDadStateDuplicate) return Status::IpConflict;
    if (row.DadState == IpDadStatePreferred || row.DadState == IpDadStateDeprecated)
      return Status::Ok;
    if (row.DadState == IpDadStateInvalid) return Status::SettingFailed;
    agentSystem.sleep(kDadPollMs);  // tentative: detection still running
  }
  return Status::Ok;
}

DWORD AddDefaultRoute(ULONG interfaceIndex, uint32_t gateway) {
  return Settle(agentSystem.createIpForwardEntry2, DefaultRouteRow(interfaceIndex, gateway),
                ERROR_OBJECT_ALREADY_EXISTS);
}

DWORD RemoveDefaultRoute(ULONG interfaceIndex, uint32_t gateway) {
  return Settle(agentSystem.deleteIpForwardEntry2, DefaultRouteRow(interfaceIndex, gateway),
                ERROR_NOT_FOUND);
}

bool CanSetInterfaceDns() {
  if (agentSystem.setInterfaceDnsSettings == nullptr) return false;
  const ReportedVersion version = agentSystem.readVersion();
  return version.major > 10 || (version.major == 10 && version.build >= kBuildWithInterfaceDns);
}

DWORD SetInterfaceDnsServers(const wchar_t* adapterName, const std::string& servers) {
  GUID guid;
  if (!AdapterNameGuid(adapterName, &guid)) return ERROR_INVALID_PARAMETER;
  if (agentSystem.setInterfaceDnsSettings == nullptr) return ERROR_PROC_NOT_FOUND;
  std::vector<wchar_t> wide(servers.begin(), servers.end());
  wide.push_back(L'\0');
  DnsInterfaceSettings settings;
  std::memset(&settings, 0, sizeof settings);
  settings.Version = kDnsInterfaceSettingsVersion1;
  settings.Flags = kDnsSettingNameServer;
  settings.NameServer = wide.data();
  return agentSystem.setInterfaceDnsSettings(guid, &settings);
}

bool AdapterNameGuid(const wchar_t* adapterName, GUID* guid) {
  if (adapterName == nullptr || guid == nullptr) return false;
  const wchar_t* text = std::wcschr(adapterName, L'{');
  if (text == nullptr) return false;
  unsigned long long value = 0;
  GUID parsed;
  ++text;
  if (!ReadHex(text, 8, &value) || !Expect(text, L'-')) return false;
  parsed.Data1 = static_cast<unsigned long>(value);
  if (!ReadHex(text, 4, &value) || !Expect(text, L'-')) return false;
  parsed.Data2 = static_cast<unsigned short>(value);
  if (!ReadHex(text, 4, &value) || !Expect(text, L'-')) return false;
  parsed.Data3 = static_cast<unsigned short>(value);
  for (int i = 0; i < 8; ++i) {
    if (i == 2 && !Expect(text, L'-')) return false;
    if (!ReadHex(text, 2, &value)) return false;
    parsed.Data4[i] = static_cast<unsigned char>(value);
  }
  if (!Expect(text, L'}')) return false;
  *guid = parsed;
  return true;
}
