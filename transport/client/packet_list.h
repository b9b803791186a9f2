// The discovery replies a console keeps until TVFreePackets: a singly linked list whose
// head pointer the console owns. Each buffer is at least a console reply buffer long (596
// bytes, zero-padded), so code that reads a reply as a console reply buffer stays inside.
// The first node knows the list's tail and length: an append costs the same at any length,
// and a list holds at most kMaxKeptPackets replies (one discovery, all adapters).
#pragma once

#include <cstddef>
#include <cstdint>

namespace tavi {

constexpr std::size_t kMaxKeptPackets = 4096;

// Appends a copy of `reply`; returns the kept buffer, or null when memory ran out or the
// list is full.
const uint8_t* KeepPacket(void** head, const uint8_t* reply, std::size_t length);
// The number of replies in the list.
std::size_t KeptPacketCount(void* const* head);
// Frees every kept buffer of the list and clears the head.
void FreePackets(void** head);
// The length of a kept buffer, 0 when `reply` is not one.
std::size_t KeptPacketLength(const uint8_t* reply);

}  // namespace tavi
