#include "transport/client/reply_delivery.h"

#include <algorithm>

#include "protocol/frames.h"

namespace tavi {

void WriteReplyStatus(uint8_t* buffer, std::size_t capacity, uint16_t status) {
  if (buffer != nullptr && capacity >= FrameOffset::Status + 2)
    StoreU16(buffer + FrameOffset::Status, status);
}

std::size_t DeliverReply(const std::vector<uint8_t>& reply, uint8_t* buffer, std::size_t capacity) {
  if (buffer == nullptr) return 0;
  if (reply.size() < FrameOffset::Status + 2) {
    WriteReplyStatus(buffer, capacity, Status::ResponseTimeout);
    return 0;
  }
  const std::size_t n = std::min(reply.size(), capacity);
  std::copy_n(reply.begin(), n, buffer);
  return n;
}

}  // namespace tavi
