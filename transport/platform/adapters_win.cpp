// clang-format off
#include <winsock2.h>
#include <windows.h>
#include <iphlpapi.h>
// clang-format on

#include <algorithm>
#include <cstdlib>
#include <memory>

#include "transport/platform/adapters.h"
#include "transport/platform/interface_slots.h"

namespace tavi {

namespace {

// GetAdaptersInfo into a buffer that grows until the list fits.
std::unique_ptr<uint8_t[]> AdaptersInfo() {
  ULONG size = 16 * 1024;
  for (int attempt = 0; attempt < 4; ++attempt) {
    std::unique_ptr<uint8_t[]> buffer(new (std::nothrow) uint8_t[size]);
    if (!buffer) return nullptr;
    const DWORD r = GetAdaptersInfo(reinterpret_cast<IP_ADAPTER_INFO*>(buffer.get()), &size);
    if (r == ERROR_SUCCESS) return buffer;
    if (r != ERROR_BUFFER_OVERFLOW) return nullptr;
  }
  return nullptr;
}

AdapterInfo Describe(const IP_ADAPTER_INFO& a) {
  AdapterInfo info;
  info.guid.assign(a.AdapterName, strnlen(a.AdapterName, sizeof a.AdapterName));
  info.label.assign(a.Description, strnlen(a.Description, sizeof a.Description));
  info.device = "\\Device\\NPF_" + info.guid;
  info.ifIndex = a.Index;
  for (UINT i = 0; i < 6 && i < a.AddressLength; ++i) info.mac[i] = a.Address[i];
  return info;
}

bool SameGuid(const std::string& a, const std::string& b) {
  return a.size() == b.size() && CompareStringA(LOCALE_INVARIANT, NORM_IGNORECASE, a.data(),
                                                static_cast<int>(a.size()), b.data(),
                                                static_cast<int>(b.size())) == CSTR_EQUAL;
}

}  // namespace

std::vector<AdapterInfo> ListConsoleAdapters() {
  std::vector<AdapterInfo> list;
  auto buffer = AdaptersInfo();
  if (!buffer) return list;
  for (auto* a = reinterpret_cast<IP_ADAPTER_INFO*>(buffer.get()); a; a = a->Next) {
    if (a->Type == MIB_IF_TYPE_LOOPBACK || a->AddressLength < 6) continue;
    list.push_back(Describe(*a));
  }
  std::sort(list.begin(), list.end(),
            [](const AdapterInfo& x, const AdapterInfo& y) { return x.ifIndex < y.ifIndex; });
  return list;
}

std::vector<AdapterInfo> ListAgentSlots() {
  std::vector<AdapterInfo> slots;
  std::unique_ptr<IP_INTERFACE_INFO, void (*)(void*)> table(ReadInterfaceSlots(GetInterfaceInfo),
                                                            std::free);
  if (!table) return slots;
  auto adapters = AdaptersInfo();
  for (LONG i = 0; i < table->NumAdapters; ++i) {
    const IP_ADAPTER_INDEX_MAP& map = table->Adapter[i];
    AdapterInfo slot;
    slot.ifIndex = map.Index;
    // "\DEVICE\TCPIP_{GUID}": the GUID is what GetAdaptersInfo calls the adapter's name.
    std::wstring name(map.Name, wcsnlen(map.Name, MAX_ADAPTER_NAME));
    const std::size_t brace = name.find(L'{');
    std::string guid;
    if (brace != std::wstring::npos)
      for (std::size_t c = brace; c < name.size(); ++c) guid.push_back(static_cast<char>(name[c]));
    for (auto* a = adapters ? reinterpret_cast<IP_ADAPTER_INFO*>(adapters.get()) : nullptr; a;
         a = a->Next) {
      AdapterInfo candidate = Describe(*a);
      if (!guid.empty() && SameGuid(candidate.guid, guid)) {
        slot = candidate;
        slot.ifIndex = map.Index;
        break;
      }
    }
    slots.push_back(slot);
  }
  return slots;
}

bool AdapterLinkUp(const AdapterInfo& adapter) {
  MIB_IFROW row{};
  row.dwIndex = adapter.ifIndex;
  if (GetIfEntry(&row) != NO_ERROR) return false;
  return row.dwOperStatus == IF_OPER_STATUS_OPERATIONAL ||
         row.dwOperStatus == IF_OPER_STATUS_CONNECTED;
}

}  // namespace tavi
