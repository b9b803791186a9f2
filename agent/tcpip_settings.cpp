#include "agent/tcpip_settings.h"

#include <cstring>
#include <cwchar>
#include <string>

#include "TaviServer.h"
#include "agent/accounts.h"
#include "agent/host_name.h"
#include "agent/nic_info.h"
#include "agent/registry.h"
#include "agent/system_calls.h"

namespace {

constexpr int kDhcpActionEnable = 1;
constexpr int kDhcpActionDisable = 2;
constexpr DWORD kDhcpIpConflict = 52;

void WriteString(HKEY key, const char* name, DWORD type, const std::string& text) {
  WriteRegValue(key, name, type, text.c_str(), 0);
}

// The first string of a text or multi-string value; empty when it cannot be read.
std::string ReadFirstString(HKEY key, const char* name) {
  char buffer[kRegBufferLength + 1];
  std::memset(buffer, 0, sizeof buffer);
  ReadRegValue(key, name, buffer, kRegBufferLength);
  return std::string(buffer);
}

// Copies the part from the first '{' on into a zeroed buffer the DHCP client may take.
int AdapterGuid(const wchar_t* adapterName, wchar_t* guid, std::size_t capacity) {
  std::memset(guid, 0, capacity * sizeof(wchar_t));
  const wchar_t* brace = adapterName == nullptr ? nullptr : std::wcschr(adapterName, L'{');
  if (brace == nullptr) return 0;
  std::wcsncpy(guid, brace, capacity - 1);
  return 1;
}

// The default route through `nextHop` (network byte order) on that interface.
MIB_IPFORWARDROW DefaultRoute(DWORD nextHop, DWORD interfaceIndex) {
  MIB_IPFORWARDROW row;
  std::memset(&row, 0, sizeof row);
  row.dwForwardNextHop = nextHop;
  row.dwForwardIfIndex = interfaceIndex;
  row.dwForwardProto = MIB_IPPROTO_NETMGMT;
  row.dwForwardMetric1 = 1;
  return row;
}

void DeleteDefaultRoute(uint32_t gateway, DWORD interfaceIndex) {
  MIB_IPFORWARDROW row = DefaultRoute(htonl(gateway), interfaceIndex);
  agentSystem.deleteIpForwardEntry(&row);
}

}  // namespace

uint16_t NotifyStaticAddress(const wchar_t* adapterName, DWORD address, DWORD mask) {
  wchar_t guid[MAX_ADAPTER_NAME + 1];
  if (!AdapterGuid(adapterName, guid, MAX_ADAPTER_NAME + 1)) return Status::SettingFailed;
  const DWORD result =
      agentSystem.dhcpNotifyConfigChange(guid, TRUE, address, mask, kDhcpActionDisable);
  if (result == 0) return Status::Ok;
  if (result == kDhcpIpConflict) return Status::IpConflict;
  return Status::SettingFailed;
}

int NotifyDhcpEnabled(const wchar_t* adapterName) {
  wchar_t guid[MAX_ADAPTER_NAME + 1];
  if (!AdapterGuid(adapterName, guid, MAX_ADAPTER_NAME + 1)) return 0;
  return agentSystem.dhcpNotifyConfigChange(guid, FALSE, 0, 0, kDhcpActionEnable) == 0 ? 1 : 0;
}

uint16_t EnableDhcpOnAdapter(HKEY key, uint8_t slot, const IP_ADAPTER_INDEX_MAP& interfaceEntry,
                             const NicEntry& nic) {
  (void)nic;
  const DWORD one = 1;
  WriteRegValue(key, "EnableDHCP", REG_DWORD, &one, sizeof one);
  WriteString(key, "IPAddress", REG_MULTI_SZ, "0.0.0.0");
  WriteString(key, "SubnetMask", REG_MULTI_SZ, "0.0.0.0");

  const std::string oldGateway = ReadFirstString(key, "DefaultGateway");
  if (!oldGateway.empty()) DeleteDefaultRoute(ParseIpv4(oldGateway), interfaceEntry.Index);
  WriteString(key, "DefaultGateway", REG_MULTI_SZ, "");
  WriteString(key, "DefaultGatewayMetric", REG_MULTI_SZ, "");

  if (!NotifyDhcpEnabled(interfaceEntry.Name)) return Status::SettingFailed;

  // The request waits for the lease so that the reply's record shows it; a lease that does
  // not come in time is no failure, the adapter stays on DHCP.
  const DWORD start = GetTickCount();
  for (;;) {
    Sleep(kLeasePollMs);
    HostRecord fresh;
    CollectNicInfo(fresh);
    if (slot < fresh.nics.size() && !IsNoAddress(fresh.nics[slot].gateway)) break;
    if (GetTickCount() - start >= kLeaseWaitMs) break;
  }
  return Status::Ok;
}

uint16_t ApplyStaticAddress(HKEY key, const IP_ADAPTER_INDEX_MAP& interfaceEntry,
                            const NicEntry& nic) {
  uint16_t status = Status::SettingFailed;
  const DWORD zero = 0;
  WriteRegValue(key, "EnableDHCP", REG_DWORD, &zero, sizeof zero);
  if (nic.changeMask & kChangeAddress)
    WriteString(key, "IPAddress", REG_MULTI_SZ, FormatIpv4(nic.ipAddress));
  if (nic.changeMask & kChangeMask)
    WriteString(key, "SubnetMask", REG_MULTI_SZ, FormatIpv4(nic.subnetMask));

  uint32_t oldGateway = 0;
  if (nic.changeMask & kChangeGateway) {
    std::string oldText = ReadFirstString(key, "DefaultGateway");
    if (oldText.empty()) oldText = ReadFirstString(key, "DhcpDefaultGateway");
    oldGateway = oldText.empty() ? 0 : ParseIpv4(oldText);
    WriteString(key, "DefaultGateway", REG_MULTI_SZ, FormatIpv4(nic.gateway));
    WriteString(key, "DefaultGatewayMetric", REG_MULTI_SZ, "1");
  }

  if (nic.changeMask & (kChangeAddress | kChangeMask)) {
    status = NotifyStaticAddress(interfaceEntry.Name, htonl(nic.ipAddress), htonl(nic.subnetMask));
    if (status != Status::Ok) return status;
  }

  if (nic.changeMask & kChangeGateway) {
    DeleteDefaultRoute(oldGateway, interfaceEntry.Index);
    MIB_IPFORWARDROW row = DefaultRoute(htonl(nic.gateway), interfaceEntry.Index);
    if (agentSystem.setIpForwardEntry(&row) == NO_ERROR) status = Status::Ok;
  } else {
    status = Status::Ok;
  }
  return status;
}

uint16_t ApplyTcpipSettings(const SettingsBody& body) {
  uint16_t result = Status::SettingFailed;
  IP_INTERFACE_INFO* table = ReadInterfaceTable();

  // Only slots that exist everywhere: in the body, in the interface table, and within the
  // number of adapter keys the agent holds open at once.
  std::size_t count = body.nicCount;
  if (count > body.nics.size()) count = body.nics.size();
  if (count > kAppliedNicCapacity) count = kAppliedNicCapacity;
  if (count > static_cast<std::size_t>(InterfaceCount(table)))
    count = static_cast<std::size_t>(InterfaceCount(table));

  HKEY keys[kAppliedNicCapacity];
  std::memset(keys, 0, sizeof keys);
  for (std::size_t i = 0; i < count; ++i) OpenInterfaceKey(table->Adapter[i].Name, &keys[i]);

  int dhcpSource = -1;
  for (std::size_t i = 0; i < count && dhcpSource < 0; ++i)
    if (body.nics[i].dhcpEnabled == 1 && TVIsAdapterConnected(static_cast<uint8_t>(i)))
      dhcpSource = static_cast<int>(i);

  const std::string dnsText = FormatIpv4(body.dnsServer);
  for (std::size_t i = 0; i < count; ++i) {
    const NicEntry& nic = body.nics[i];
    if (body.dnsStatic == 0 && nic.dhcpEnabled == 1 && (nic.changeMask & kChangeMode))
      WriteString(keys[i], "NameServer", REG_SZ, "");
    else
      WriteString(keys[i], "NameServer", REG_SZ, dnsText);
  }

  uint16_t failure = Status::Ok;
  for (std::size_t i = 0; i < count && failure == Status::Ok; ++i) {
    const uint8_t slot = static_cast<uint8_t>(i);
    if (!TVIsAdapterConnected(slot)) continue;
    const NicEntry& nic = body.nics[i];
    if (nic.dhcpEnabled == 1) {
      if (nic.changeMask & kChangeMode)
        failure = EnableDhcpOnAdapter(keys[i], slot, table->Adapter[i], nic);
    } else {
      failure = ApplyStaticAddress(keys[i], table->Adapter[i], nic);
    }
  }

  if (failure != Status::Ok) {
    result = failure;
  } else {
    if (dhcpSource >= 0 && body.dnsStatic == 0) {
      char servers[kDnsListBufferLength + 1];
      std::memset(servers, 0, sizeof servers);
      ReadRegValue(keys[dhcpSource], "DhcpNameServer", servers, kDnsListBufferLength);
      for (std::size_t i = 0; i < count; ++i)
        if (static_cast<int>(i) != dhcpSource && TVIsAdapterConnected(static_cast<uint8_t>(i)))
          WriteRegValue(keys[i], "NameServer", REG_SZ, servers, 0);
    }
    result = Status::Ok;
  }

  for (std::size_t i = 0; i < count; ++i)
    if (keys[i] != nullptr) RegCloseKey(keys[i]);
  FreeInterfaceTable(table);
  return result;
}

bool SlotsStillMatch(const SettingsBody& body, const HostRecord& now) {
  std::size_t count = body.nicCount;
  if (count > body.nics.size()) count = body.nics.size();
  if (count > kAppliedNicCapacity) count = kAppliedNicCapacity;
  if (count > now.nics.size()) count = now.nics.size();
  for (std::size_t i = 0; i < count; ++i)
    if (body.nics[i].mac != now.nics[i].mac) return false;
  return true;
}

uint16_t ApplyHostSettings(const SettingsBody& body) {
  uint16_t status = Status::SettingFailed;
  bool applied = false;

  // The configuration as it is now, in the shape of a request that sets all of it again.
  SettingsBody rollBack;
  {
    HostRecord snapshot;
    CollectNicInfo(snapshot);
    if (!SlotsStillMatch(body, snapshot)) {
      RevertToAgentContext();
      return Status::SettingFailed;
    }
    rollBack.dnsServer = snapshot.dnsServer;
    rollBack.dnsStatic = 1;
    rollBack.nicCount = snapshot.nicCount;
    rollBack.nics = snapshot.nics;
    for (std::size_t i = 0; i < rollBack.nics.size(); ++i) {
      const uint32_t requested = i < body.nics.size() ? body.nics[i].changeMask : 0;
      rollBack.nics[i].changeMask = requested | kChangeAddress | kChangeMask | kChangeGateway;
    }
  }

  try {
    char name[kHostNameFieldLength];
    std::memset(name, 0, sizeof name);
    const std::string requested = body.newHostName.str();
    std::memcpy(name, requested.data(),
                requested.size() < sizeof name - 1 ? requested.size() : sizeof name - 1);
    status = SetHostName(name);
    if (status == Status::Ok) {
      applied = true;
      status = ApplyTcpipSettings(body);
    }
  } catch (...) {
    status = Status::SettingFailed;
  }

  if (status != Status::Ok && applied) {
    try {
      ApplyTcpipSettings(rollBack);
    } catch (...) {
    }
  }
  RevertToAgentContext();
  return status;
}
