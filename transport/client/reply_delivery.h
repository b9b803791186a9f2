// Hands a received reply to the console's buffer: cut at the buffer's size, never past it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace tavi {

// Copies min(reply size, capacity) bytes; a reply too short to hold a status counts as none
// and leaves status 3 (no reply). Returns the bytes copied.
std::size_t DeliverReply(const std::vector<uint8_t>& reply, uint8_t* buffer, std::size_t capacity);
// Writes `status` at offset 24 when the buffer has room for it.
void WriteReplyStatus(uint8_t* buffer, std::size_t capacity, uint16_t status);

}  // namespace tavi
