#include "agent/nic_info.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "agent/registry.h"
#include "agent/system_calls.h"
#include "transport/platform/interface_slots.h"

namespace {

// A zeroed buffer for a system query that is sized by a first call without one.
void* AllocateZeroed(ULONG size) {
  if (size == 0) return nullptr;
  return std::calloc(1, size);
}

}  // namespace

IP_INTERFACE_INFO* ReadInterfaceTable() { return tavi::ReadInterfaceSlots(agentSystem.getInterfaceInfo); }

void FreeInterfaceTable(IP_INTERFACE_INFO* table) { std::free(table); }

int InterfaceCount(const IP_INTERFACE_INFO* table) {
  return table == nullptr ? 0 : static_cast<int>(table->NumAdapters);
}

uint8_t FindInterfacePosition(const IP_INTERFACE_INFO* table, ULONG interfaceIndex) {
  if (table == nullptr) return kNoSlot;
  for (LONG i = 0; i < table->NumAdapters && i < kNoSlot; ++i)
    if (table->Adapter[i].Index == interfaceIndex) return static_cast<uint8_t>(i);
  return kNoSlot;
}

IP_ADAPTER_INFO* ReadAdapterList() {
  ULONG size = 0;
  agentSystem.getAdaptersInfo(nullptr, &size);
  IP_ADAPTER_INFO* list = static_cast<IP_ADAPTER_INFO*>(AllocateZeroed(size));
  if (list == nullptr) return nullptr;
  ULONG filled = size;
  if (size < sizeof(IP_ADAPTER_INFO) || agentSystem.getAdaptersInfo(list, &filled) != NO_ERROR) {
    std::free(list);
    return nullptr;
  }
  return list;
}

void FreeAdapterList(IP_ADAPTER_INFO* list) { std::free(list); }

uint32_t AddressFromText(const char* text, std::size_t width) {
  std::size_t length = 0;
  while (length < width && text[length] != '\0') ++length;
  if (length == 0) return 0;
  return ParseIpv4(std::string_view(text, length));
}

void CollectNicInfo(HostRecord& record, std::size_t capacity) {
  if (capacity > kAgentNicCapacity) capacity = kAgentNicCapacity;
  record.dnsServer = 0;
  record.dnsStatic = 0;

  ULONG size = 0;
  agentSystem.getNetworkParams(nullptr, &size);
  if (size >= sizeof(FIXED_INFO)) {
    FIXED_INFO* params = static_cast<FIXED_INFO*>(AllocateZeroed(size));
    ULONG filled = size;
    if (params != nullptr && agentSystem.getNetworkParams(params, &filled) == NO_ERROR) {
      record.dnsServer = AddressFromText(params->DnsServerList.IpAddress.String,
                                         sizeof params->DnsServerList.IpAddress.String);
      record.dnsStatic = 1;
    }
    std::free(params);
  }

  IP_INTERFACE_INFO* table = ReadInterfaceTable();
  std::size_t count = static_cast<std::size_t>(InterfaceCount(table)) & 0xFF;
  if (count > capacity) count = capacity;
  record.nicCount = static_cast<uint8_t>(count);
  record.nics.assign(count, NicEntry());

  IP_ADAPTER_INFO* adapters = ReadAdapterList();
  for (const IP_ADAPTER_INFO* adapter = adapters; adapter != nullptr; adapter = adapter->Next) {
    const uint8_t slot = FindInterfacePosition(table, adapter->Index);
    if (slot == kNoSlot || slot >= count) continue;
    NicEntry& nic = record.nics[slot];

    char name[20];
    std::snprintf(name, sizeof name, "NIC%d", slot + 1);
    nic.nicName.assign(name);
    std::size_t macLength = adapter->AddressLength;
    if (macLength > nic.mac.size()) macLength = nic.mac.size();
    std::memcpy(nic.mac.data(), adapter->Address, macLength);

    const IP_ADDR_STRING& first = adapter->IpAddressList;
    nic.ipAddress = AddressFromText(first.IpAddress.String, sizeof first.IpAddress.String);
    nic.subnetMask = AddressFromText(first.IpMask.String, sizeof first.IpMask.String);

    const IP_ADDR_STRING* gateway = &adapter->GatewayList;
    while (gateway->IpAddress.String[0] == '\0' && gateway->Next != nullptr)
      gateway = gateway->Next;
    nic.gateway = AddressFromText(gateway->IpAddress.String, sizeof gateway->IpAddress.String);

    nic.dhcpEnabled = adapter->DhcpEnabled ? 1 : 0;
    if (nic.dhcpEnabled) {
      // A DHCP adapter without a NameServer of its own takes its DNS servers automatically.
      char nameServer[kDnsListBufferLength + 1];
      std::memset(nameServer, 0, sizeof nameServer);
      HKEY key = nullptr;
      if (OpenInterfaceKey(table->Adapter[slot].Name, &key)) {
        ReadRegValue(key, "NameServer", nameServer, kDnsListBufferLength);
        RegCloseKey(key);
      }
      if (nameServer[0] == '\0') record.dnsStatic = 0;
    }
  }

  FreeAdapterList(adapters);
  FreeInterfaceTable(table);
}
