#include "transport/client/packet_list.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <new>
#include <unordered_map>

#include "protocol/frames.h"

namespace tavi {

namespace {
struct PacketNode {
  PacketNode* next;
  PacketNode* tail;   // first node only: the last node
  std::size_t count;  // first node only: nodes in the list
  std::size_t length;
  alignas(8) uint8_t data[1];
};

// Kept buffers by address, so that TVGetMACData knows how far a buffer of ours reaches.
std::mutex& Lock() {
  static std::mutex* m = new std::mutex;
  return *m;
}
std::unordered_map<const uint8_t*, std::size_t>& Registry() {
  static auto* r = new std::unordered_map<const uint8_t*, std::size_t>;
  return *r;
}
}  // namespace

const uint8_t* KeepPacket(void** head, const uint8_t* reply, std::size_t length) {
  if (head == nullptr || reply == nullptr) return nullptr;
  const std::size_t size = std::max(length, kConsoleReplyBufferLength);
  auto* node = static_cast<PacketNode*>(std::calloc(1, offsetof(PacketNode, data) + size));
  if (node == nullptr) return nullptr;
  node->length = size;
  std::memcpy(node->data, reply, length);
  std::lock_guard<std::mutex> lock(Lock());
  auto* first = static_cast<PacketNode*>(*head);
  if (first != nullptr && first->count >= kMaxKeptPackets) {
    std::free(node);
    return nullptr;
  }
  try {
    Registry().emplace(node->data, size);
  } catch (const std::bad_alloc&) {
    std::free(node);
    return nullptr;
  }
  // Appended at the tail: the list keeps arrival order.
  if (first == nullptr) {
    node->tail = node;
    node->count = 1;
    *head = node;
  } else {
    first->tail->next = node;
    first->tail = node;
    ++first->count;
  }
  return node->data;
}

std::size_t KeptPacketCount(void* const* head) {
  if (head == nullptr || *head == nullptr) return 0;
  std::lock_guard<std::mutex> lock(Lock());
  return static_cast<const PacketNode*>(*head)->count;
}

void FreePackets(void** head) {
  if (head == nullptr) return;
  std::lock_guard<std::mutex> lock(Lock());
  auto* node = static_cast<PacketNode*>(*head);
  while (node != nullptr) {
    PacketNode* next = node->next;
    Registry().erase(node->data);
    std::free(node);
    node = next;
  }
  *head = nullptr;
}

std::size_t KeptPacketLength(const uint8_t* reply) {
  std::lock_guard<std::mutex> lock(Lock());
  auto it = Registry().find(reply);
  return it == Registry().end() ? 0 : it->second;
}

}  // namespace tavi
