#include "transport/platform/interface_slots.h"

#include <cstddef>
#include <cstdlib>

namespace tavi {

namespace {

void SortBySlot(IP_INTERFACE_INFO* table) {
  // Insertion sort: stable, and the table holds a handful of entries.
  for (LONG i = 1; i < table->NumAdapters; ++i) {
    IP_ADAPTER_INDEX_MAP entry = table->Adapter[i];
    LONG j = i;
    while (j > 0 && table->Adapter[j - 1].Index > entry.Index) {
      table->Adapter[j] = table->Adapter[j - 1];
      --j;
    }
    table->Adapter[j] = entry;
  }
}

}  // namespace

IP_INTERFACE_INFO* ReadInterfaceSlots(GetInterfaceInfoCall call) {
  ULONG size = 0;
  call(nullptr, &size);
  if (size < sizeof(LONG)) return nullptr;
  auto* table = static_cast<IP_INTERFACE_INFO*>(std::calloc(1, size));
  if (table == nullptr) return nullptr;
  ULONG filled = size;
  if (call(table, &filled) != NO_ERROR) {
    std::free(table);
    return nullptr;
  }
  const std::size_t room = size < offsetof(IP_INTERFACE_INFO, Adapter)
                               ? 0
                               : (size - offsetof(IP_INTERFACE_INFO, Adapter)) /
                                     sizeof(IP_ADAPTER_INDEX_MAP);
  if (table->NumAdapters < 0) table->NumAdapters = 0;
  if (static_cast<std::size_t>(table->NumAdapters) > room)
    table->NumAdapters = static_cast<LONG>(room);
  for (LONG i = 0; i < table->NumAdapters; ++i)
    table->Adapter[i].Name[MAX_ADAPTER_NAME - 1] = L'\0';
  SortBySlot(table);
  return table;
}

}  // namespace tavi
