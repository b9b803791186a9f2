#include "agent/tcpip_settings.h"

#include <cstring>
#include <cwchar>
#include <string>
#include <vector>

#include "TaviServer.h"
#include "agent/accounts.h"
#include "agent/host_name.h"
#include "agent/live_config.h"
#include "agent/nic_info.h"
#include "agent/registry.h"
#include "agent/system_calls.h"
#include "agent/tcpip_lists.h"

namespace {

constexpr int kDhcpActionEnable = 1;
constexpr int kDhcpActionDisable = 2;
constexpr DWORD kDhcpIpConflict = 52;
constexpr int kLeasePolls = static_cast<int>(kLeaseWaitMs / kLeasePollMs);

// A registry value as it was before this request first wrote it.
struct SavedValue {
  std::wstring adapter;
  std::string name;
  bool existed = false;
  DWORD type = 0;
  std::vector<BYTE> data;
};

// One run over the adapters: the path that makes changes live, whether DNS is part of it,
// and where the values it overwrites are kept for a roll-back.
struct Pass {
  bool ipHelper = false;
  bool dns = true;
  std::vector<SavedValue>* saved = nullptr;
};

// One slot of the body and the adapter now in it.
struct Adapter {
  HKEY key;
  const IP_ADAPTER_INDEX_MAP* entry;
  uint8_t slot;
};

bool Store(const Pass& pass, const Adapter& a, const char* name, DWORD type,
           const std::string& bytes) {
  if (a.key == nullptr) return false;
  if (pass.saved != nullptr) {
    bool known = false;
    for (const SavedValue& s : *pass.saved)
      if (s.name == name && s.adapter == a.entry->Name) known = true;
    if (!known) {
      SavedValue value;
      value.adapter = a.entry->Name;
      value.name = name;
      value.existed = ReadRegRaw(a.key, name, &value.type, value.data);
      pass.saved->push_back(value);
    }
  }
  return WriteRegValue(a.key, name, type, bytes.data(), static_cast<DWORD>(bytes.size())) == 1;
}

bool StoreText(const Pass& pass, const Adapter& a, const char* name, const std::string& text) {
  return Store(pass, a, name, REG_SZ, std::string(text.c_str(), std::strlen(text.c_str()) + 1));
}

bool StoreMulti(const Pass& pass, const Adapter& a, const char* name,
                const std::vector<std::string>& strings) {
  return Store(pass, a, name, REG_MULTI_SZ, JoinMultiString(strings));
}

bool StoreDword(const Pass& pass, const Adapter& a, const char* name, DWORD value) {
  return Store(pass, a, name, REG_DWORD,
               std::string(reinterpret_cast<const char*>(&value), sizeof value));
}

// A text value whole (at most `capacity` bytes); empty when it cannot be read.
std::string ReadText(HKEY key, const char* name, DWORD capacity) {
  std::vector<char> buffer(capacity + 1, '\0');
  ReadRegValue(key, name, buffer.data(), capacity);
  return std::string(buffer.data());
}

std::string ReadFirstString(HKEY key, const char* name) {
  return ReadText(key, name, kRegBufferLength);
}

std::vector<std::string> ReadMulti(HKEY key, const char* name) {
  std::vector<char> buffer(kRegBufferLength + 2, '\0');
  ReadRegValue(key, name, buffer.data(), kRegBufferLength);
  return SplitMultiString(buffer.data(), buffer.size());
}

uint32_t FirstAddress(const std::vector<std::string>& list) {
  return list.empty() ? 0 : ParseIpv4(list[0]);
}

// Copies the part from the first '{' on into a zeroed buffer the DHCP client may take.
int AdapterGuid(const wchar_t* adapterName, wchar_t* guid, std::size_t capacity) {
  std::memset(guid, 0, capacity * sizeof(wchar_t));
  const wchar_t* brace = adapterName == nullptr ? nullptr : std::wcschr(adapterName, L'{');
  if (brace == nullptr) return 0;
  std::wcsncpy(guid, brace, capacity - 1);
  return 1;
}

// NT 5.x: the default route through `nextHop` (network byte order) on that interface.
MIB_IPFORWARDROW LegacyDefaultRoute(DWORD nextHop, DWORD interfaceIndex) {
  MIB_IPFORWARDROW row;
  std::memset(&row, 0, sizeof row);
  row.dwForwardNextHop = nextHop;
  row.dwForwardIfIndex = interfaceIndex;
  row.dwForwardProto = MIB_IPPROTO_NETMGMT;
  row.dwForwardMetric1 = 1;
  return row;
}

void LegacyDeleteDefaultRoute(uint32_t gateway, DWORD interfaceIndex) {
  MIB_IPFORWARDROW row = LegacyDefaultRoute(htonl(gateway), interfaceIndex);
  agentSystem.deleteIpForwardEntry(&row);
}

// The adapter's DNS servers: the stored list, and at once where the system allows it.
bool SetNameServer(const Pass& pass, const Adapter& a, const std::string& servers) {
  if (!StoreText(pass, a, "NameServer", servers)) return false;
  if (pass.ipHelper && CanSetInterfaceDns())
    return SetInterfaceDnsServers(a.entry->Name, servers) == NO_ERROR;
  return true;
}

// The request waits for the lease so that the reply's record shows it; a lease that does
// not come in time is no failure, the adapter stays on DHCP.
void AwaitLease(uint8_t slot) {
  for (int poll = 0; poll < kLeasePolls; ++poll) {
    agentSystem.sleep(kLeasePollMs);
    HostRecord fresh;
    CollectNicInfo(fresh);
    if (slot < fresh.nics.size() && !IsNoAddress(fresh.nics[slot].gateway)) return;
  }
}

uint16_t EnableDhcpOnAdapter(const Pass& pass, const Adapter& a) {
  const std::vector<std::string> oldAddresses =
      ReadParallel(ReadMulti(a.key, "IPAddress"), {}).first;
  const std::string oldGateway = ReadFirstString(a.key, "DefaultGateway");
  if (!StoreDword(pass, a, "EnableDHCP", 1) || !StoreMulti(pass, a, "IPAddress", {"0.0.0.0"}) ||
      !StoreMulti(pass, a, "SubnetMask", {"0.0.0.0"}))
    return Status::SettingFailed;
  if (!pass.ipHelper && !oldGateway.empty())
    LegacyDeleteDefaultRoute(ParseIpv4(oldGateway), a.entry->Index);
  if (!StoreMulti(pass, a, "DefaultGateway", {}) ||
      !StoreMulti(pass, a, "DefaultGatewayMetric", {}))
    return Status::SettingFailed;

  if (pass.ipHelper) {
    // The fixed addresses and route go; the DHCP client then takes the adapter.
    for (const std::string& address : oldAddresses)
      if (RemoveUnicastAddress(a.entry->Index, ParseIpv4(address)) != NO_ERROR)
        return Status::SettingFailed;
    if (!oldGateway.empty() &&
        RemoveDefaultRoute(a.entry->Index, ParseIpv4(oldGateway)) != NO_ERROR)
      return Status::SettingFailed;
    IP_ADAPTER_INDEX_MAP entry = *a.entry;
    if (agentSystem.ipRenewAddress(&entry) != NO_ERROR) return Status::SettingFailed;
  } else if (!NotifyDhcpEnabled(a.entry->Name)) {
    return Status::SettingFailed;
  }
  AwaitLease(a.slot);
  return Status::Ok;
}

// NT 6: the running stack follows the first address and the gateway as now stored.
uint16_t ApplyLiveStatic(const Adapter& a, bool wasDhcp, const ParallelLists& oldAddress,
                         const ParallelLists& newAddress, bool gatewayChange,
                         uint32_t oldGateway, uint32_t newGateway) {
  const ULONG index = a.entry->Index;
  if (!newAddress.first.empty()) {
    const uint32_t address = FirstAddress(newAddress.first);
    const uint8_t bits = PrefixLength(FirstAddress(newAddress.second));
    const uint32_t previous = wasDhcp ? 0 : FirstAddress(oldAddress.first);
    const uint8_t previousBits = PrefixLength(FirstAddress(oldAddress.second));
    if (wasDhcp) {
      // The lease goes first: the fixed address may be the one the lease gave.
      IP_ADAPTER_INDEX_MAP entry = *a.entry;
      agentSystem.ipReleaseAddress(&entry);  // an adapter without a lease has none to give
    }
    if (address != previous || bits != previousBits) {
      if (address == previous && RemoveUnicastAddress(index, previous) != NO_ERROR)
        return Status::SettingFailed;  // the same address with another prefix
      if (AddUnicastAddress(index, address, bits) != NO_ERROR) return Status::SettingFailed;
      const uint16_t detection = WatchDuplicateDetection(index, address);
      if (detection != Status::Ok) return detection;
      if (!IsNoAddress(previous) && previous != address &&
          RemoveUnicastAddress(index, previous) != NO_ERROR)
        return Status::SettingFailed;
    }
  }
  if (gatewayChange && (wasDhcp || oldGateway != newGateway)) {
    // The new route first, then the old one: the host is never without a default route.
    if (!IsNoAddress(newGateway) && AddDefaultRoute(index, newGateway) != NO_ERROR)
      return Status::SettingFailed;
    if (!IsNoAddress(oldGateway) && oldGateway != newGateway &&
        RemoveDefaultRoute(index, oldGateway) != NO_ERROR)
      return Status::SettingFailed;
  }
  return Status::Ok;
}

uint16_t ApplyStaticAddress(const Pass& pass, const Adapter& a, const NicEntry& nic) {
  DWORD dhcpValue = 0;
  const bool wasDhcp = ReadRegDword(a.key, "EnableDHCP", &dhcpValue) && dhcpValue == 1;
  const ParallelLists oldAddress =
      ReadParallel(ReadMulti(a.key, "IPAddress"), ReadMulti(a.key, "SubnetMask"));
  const bool addressChange = (nic.changeMask & (kChangeAddress | kChangeMask)) != 0;
  const bool gatewayChange = (nic.changeMask & kChangeGateway) != 0;
  if (!StoreDword(pass, a, "EnableDHCP", 0)) return Status::SettingFailed;

  // A new address or mask replaces the first entry of the parallel lists, the adapter's
  // further addresses stay.
  ParallelLists newAddress = oldAddress;
  if (addressChange) {
    const std::string address = FormatIpv4(nic.ipAddress);
    const std::string mask = FormatIpv4(nic.subnetMask);
    newAddress = ReplaceFirstPair(oldAddress, (nic.changeMask & kChangeAddress) ? address : "",
                                  (nic.changeMask & kChangeMask) ? mask : "", address, mask);
    if (!StoreMulti(pass, a, "IPAddress", newAddress.first) ||
        !StoreMulti(pass, a, "SubnetMask", newAddress.second))
      return Status::SettingFailed;
  }

  uint32_t oldGateway = 0;
  if (gatewayChange) {
    ParallelLists gateways =
        ReadParallel(ReadMulti(a.key, "DefaultGateway"), ReadMulti(a.key, "DefaultGatewayMetric"));
    oldGateway = FirstAddress(gateways.first);
    if (IsNoAddress(oldGateway)) oldGateway = ParseIpv4(ReadFirstString(a.key, "DhcpDefaultGateway"));
    if (IsNoAddress(nic.gateway)) {
      if (!gateways.first.empty()) gateways.first.erase(gateways.first.begin());
      gateways.second.resize(gateways.first.size(), "1");
    } else {
      gateways = ReplaceFirstPair(gateways, FormatIpv4(nic.gateway), "1", "", "1");
    }
    if (!StoreMulti(pass, a, "DefaultGateway", gateways.first) ||
        !StoreMulti(pass, a, "DefaultGatewayMetric", gateways.second))
      return Status::SettingFailed;
  }

  if (pass.ipHelper)
    return ApplyLiveStatic(a, wasDhcp, oldAddress, newAddress, gatewayChange, oldGateway,
                           nic.gateway);

  // NT 5.x: the DHCP client's notification and the route calls of that generation.
  uint16_t status = Status::SettingFailed;
  if (addressChange) {
    status = NotifyStaticAddress(a.entry->Name, htonl(nic.ipAddress), htonl(nic.subnetMask));
    if (status != Status::Ok) return status;
  }
  if (gatewayChange) {
    LegacyDeleteDefaultRoute(oldGateway, a.entry->Index);
    MIB_IPFORWARDROW row = LegacyDefaultRoute(htonl(nic.gateway), a.entry->Index);
    if (agentSystem.setIpForwardEntry(&row) == NO_ERROR) status = Status::Ok;
  } else {
    status = Status::Ok;
  }
  return status;
}

// "NameServer" of one slot as the request wants it; `current` when the request does not
// change that slot's DNS. A rename or an address change alone changes no DNS.
std::string WantedNameServer(const SettingsBody& body, const NicEntry& nic,
                             const HostRecord& now, bool adapterOnDhcp,
                             const std::string& current) {
  if (body.dnsStatic == 0)
    return nic.dhcpEnabled == 1 && (nic.changeMask & kChangeMode) ? std::string() : current;
  if (IsNoAddress(body.dnsServer) || (body.dnsServer == now.dnsServer && now.dnsStatic == 1))
    return current;
  // A new first server replaces the first entry and keeps the alternates; an adapter that
  // took its servers from DHCP now has this one; one without any (a storage or cluster
  // network) stays without.
  if (!current.empty()) return ReplaceFirstServer(current, FormatIpv4(body.dnsServer));
  return adapterOnDhcp ? FormatIpv4(body.dnsServer) : current;
}

uint16_t ApplyWithPass(const SettingsBody& body, const Pass& pass) {
  uint16_t result = Status::SettingFailed;
  IP_INTERFACE_INFO* table = ReadInterfaceTable();

  // Only slots that exist everywhere: in the body, in the interface table, and within the
  // number of adapter keys the agent holds open at once.
  std::size_t count = body.nicCount;
  if (count > body.nics.size()) count = body.nics.size();
  if (count > kAppliedNicCapacity) count = kAppliedNicCapacity;
  if (count > static_cast<std::size_t>(InterfaceCount(table)))
    count = static_cast<std::size_t>(InterfaceCount(table));

  HostRecord now;
  if (pass.dns && count > 0) CollectNicInfo(now);

  // A key that cannot be opened stays null: the first write to it fails the request.
  Adapter adapters[kAppliedNicCapacity];
  for (std::size_t i = 0; i < count; ++i) {
    adapters[i] = {nullptr, &table->Adapter[i], static_cast<uint8_t>(i)};
    OpenInterfaceKey(table->Adapter[i].Name, &adapters[i].key);
  }

  int dhcpSource = -1;
  for (std::size_t i = 0; i < count && dhcpSource < 0; ++i)
    if (body.nics[i].dhcpEnabled == 1 && TVIsAdapterConnected(static_cast<uint8_t>(i)))
      dhcpSource = static_cast<int>(i);

  uint16_t failure = Status::Ok;
  for (std::size_t i = 0; pass.dns && i < count && failure == Status::Ok; ++i) {
    const Adapter& a = adapters[i];
    DWORD dhcpValue = 0;
    const bool onDhcp = body.nics[i].dhcpEnabled == 1 ||
                        (ReadRegDword(a.key, "EnableDHCP", &dhcpValue) && dhcpValue == 1);
    const std::string current = ReadText(a.key, "NameServer", kDnsListBufferLength);
    const std::string wanted = WantedNameServer(body, body.nics[i], now, onDhcp, current);
    if (wanted != current && !SetNameServer(pass, a, wanted)) failure = Status::SettingFailed;
  }

  for (std::size_t i = 0; i < count && failure == Status::Ok; ++i) {
    const uint8_t slot = static_cast<uint8_t>(i);
    if (!TVIsAdapterConnected(slot)) continue;
    const NicEntry& nic = body.nics[i];
    if (nic.dhcpEnabled == 1) {
      if (nic.changeMask & kChangeMode) failure = EnableDhcpOnAdapter(pass, adapters[i]);
    } else {
      failure = ApplyStaticAddress(pass, adapters[i], nic);
    }
  }

  // Automatic DNS asked for where it was fixed: the other connected adapters that hold a
  // list of their own take the servers the DHCP adapter's lease gave.
  if (failure == Status::Ok && pass.dns && dhcpSource >= 0 && body.dnsStatic == 0 &&
      now.dnsStatic == 1) {
    const std::string servers =
        ReadText(adapters[dhcpSource].key, "DhcpNameServer", kDnsListBufferLength);
    for (std::size_t i = 0; i < count && failure == Status::Ok; ++i) {
      if (static_cast<int>(i) == dhcpSource || !TVIsAdapterConnected(static_cast<uint8_t>(i)))
        continue;
      const std::string current = ReadText(adapters[i].key, "NameServer", kDnsListBufferLength);
      if (!current.empty() && !servers.empty() && current != servers &&
          !SetNameServer(pass, adapters[i], servers))
        failure = Status::SettingFailed;
    }
  }
  result = failure;

  for (std::size_t i = 0; i < count; ++i)
    if (adapters[i].key != nullptr) RegCloseKey(adapters[i].key);
  FreeInterfaceTable(table);
  return result;
}

// Puts every saved value back as it was (or removes it where it did not exist), newest
// first; DNS servers take effect again where the system allows it. Failures are not
// reported: the request's status is that of its first failure.
void RestoreValues(const std::vector<SavedValue>& saved, bool ipHelper) {
  for (std::size_t n = saved.size(); n-- > 0;) {
    const SavedValue& value = saved[n];
    HKEY key = nullptr;
    if (!OpenInterfaceKey(value.adapter.c_str(), &key)) continue;
    if (value.existed)
      WriteRegValue(key, value.name.c_str(), value.type,
                    value.data.empty() ? reinterpret_cast<const BYTE*>("") : value.data.data(),
                    static_cast<DWORD>(value.data.size()));
    else
      DeleteRegValue(key, value.name.c_str());
    RegCloseKey(key);
    if (ipHelper && value.name == "NameServer" && CanSetInterfaceDns()) {
      std::string text(value.data.begin(), value.data.end());
      SetInterfaceDnsServers(value.adapter.c_str(), text.c_str());
    }
  }
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

uint16_t ApplyTcpipSettings(const SettingsBody& body) {
  Pass pass;
  pass.ipHelper = UsesIpHelperPath();
  return ApplyWithPass(body, pass);
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

  // The configuration as it is now, in the shape of a request that sets all of it again:
  // it brings the running stack back; the registry values come back from what was saved.
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
    // Address, mask and gateway as they were; DHCP again only where the request took a
    // DHCP adapter off it.
    for (std::size_t i = 0; i < rollBack.nics.size(); ++i) {
      const bool madeStatic = i < body.nics.size() && i < body.nicCount &&
                              body.nics[i].dhcpEnabled == 0;
      const bool wasDhcp = rollBack.nics[i].dhcpEnabled == 1;
      rollBack.nics[i].changeMask =
          kChangeAddress | kChangeMask | kChangeGateway | (wasDhcp && madeStatic ? kChangeMode : 0);
    }
  }

  Pass pass;
  std::vector<SavedValue> saved;
  try {
    pass.ipHelper = UsesIpHelperPath();
    pass.saved = &saved;
    char name[kHostNameFieldLength];
    std::memset(name, 0, sizeof name);
    const std::string requested = body.newHostName.str();
    std::memcpy(name, requested.data(),
                requested.size() < sizeof name - 1 ? requested.size() : sizeof name - 1);
    status = SetHostName(name);
    if (status == Status::Ok) {
      applied = true;
      status = ApplyWithPass(body, pass);
    }
  } catch (...) {
    status = Status::SettingFailed;
  }

  if (status != Status::Ok && applied) {
    try {
      Pass back = pass;
      back.dns = false;  // the saved values bring the DNS servers back
      ApplyWithPass(rollBack, back);
      RestoreValues(saved, pass.ipHelper);
    } catch (...) {
    }
  }
  RevertToAgentContext();
  return status;
}
