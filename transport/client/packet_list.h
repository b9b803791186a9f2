// The discovery replies a console keeps until TVFreePackets: a singly linked list whose
// head pointer the console owns. Each buffer is at least a console reply buffer long (596
// bytes, zero-padded), so code that reads a reply as a console reply buffer stays inside.
#pragma once

#include <cstddef>
#include <cstdint>

namespace tavi {

// Appends a copy of `reply`; returns the kept buffer, or null when memory ran out.
const uint8_t* KeepPacket(void** head, const uint8_t* reply, std::size_t length);
// Frees every kept buffer of the list and clears the head.
void FreePackets(void** head);
// The length of a kept buffer, 0 when `reply` is not one.
std::size_t KeptPacketLength(const uint8_t* reply);

}  // namespace tavi
