// The host's adapters: the IP interface table that numbers the adapter slots, and the DNS
// and per-adapter part of the host record.
#pragma once

#include <winsock2.h>
#include <windows.h>
#include <ws2ipdef.h>
#include <iphlpapi.h>

#include <cstddef>
#include <cstdint>

#include "protocol/frames.h"

constexpr uint8_t kNoSlot = 255;

// The adapter slots (transport/platform/interface_slots.h) through the agent's system calls.
IP_INTERFACE_INFO* ReadInterfaceTable();
void FreeInterfaceTable(IP_INTERFACE_INFO* table);
int InterfaceCount(const IP_INTERFACE_INFO* table);

// Slot of the first entry with that interface index; kNoSlot when absent.
uint8_t FindInterfacePosition(const IP_INTERFACE_INFO* table, ULONG interfaceIndex);

// The adapter list in a buffer of its own; null when the system gives none. Free with
// FreeAdapterList.
IP_ADAPTER_INFO* ReadAdapterList();
void FreeAdapterList(IP_ADAPTER_INFO* list);

// Dotted text of a fixed-width system field to a frame number; empty text is 0.
uint32_t AddressFromText(const char* text, std::size_t width);

// Fills dnsServer, dnsStatic, nicCount and nics. At most `capacity` entries are described;
// nicCount is the interface table's entry count, cut to that capacity so that the record
// always fits the reply buffer.
void CollectNicInfo(HostRecord& record, std::size_t capacity = kAgentNicCapacity);
