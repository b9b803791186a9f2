// The console's list of discovery replies: arrival order, the host limit across the
// adapters of one discovery, and a clean restart after TVFreePackets.
#include "transport/client/packet_list.h"

#include <gtest/gtest.h>

#include <vector>

#include "protocol/frames.h"

namespace tavi {
namespace {


TEST(PacketList, KeepsArrivalOrderAndStopsAtTheHostLimit) {
  void* head = nullptr;
  std::vector<const uint8_t*> kept;
  uint8_t reply[40] = {};
  for (std::size_t i = 0; i < kMaxKeptPackets + 10; ++i) {
    reply[0] = static_cast<uint8_t>(i);
    reply[1] = static_cast<uint8_t>(i >> 8);
    const uint8_t* k = KeepPacket(&head, reply, sizeof reply);
    if (i < kMaxKeptPackets) {
      ASSERT_NE(k, nullptr) << i;
      kept.push_back(k);
    } else {
      EXPECT_EQ(k, nullptr) << i;
    }
  }
  EXPECT_EQ(KeptPacketCount(&head), kMaxKeptPackets);
  for (std::size_t i = 0; i < kept.size(); i += 511) {
    EXPECT_EQ(kept[i][0] | (kept[i][1] << 8), static_cast<int>(i));
    EXPECT_EQ(KeptPacketLength(kept[i]), kConsoleReplyBufferLength);
    EXPECT_EQ(kept[i][kConsoleReplyBufferLength - 1], 0) << "zero-padded";
  }
  FreePackets(&head);
  EXPECT_EQ(head, nullptr);
  EXPECT_EQ(KeptPacketCount(&head), 0u);
  EXPECT_EQ(KeptPacketLength(kept[0]), 0u);
  // A fresh discovery starts with the whole room again.
  EXPECT_NE(KeepPacket(&head, reply, sizeof reply), nullptr);
  EXPECT_EQ(KeptPacketCount(&head), 1u);
  FreePackets(&head);
}

TEST(PacketList, NullArgumentsAreRefused) {
  uint8_t reply[40] = {};
  void* head = nullptr;
  EXPECT_EQ(KeepPacket(nullptr, reply, sizeof reply), nullptr);
  EXPECT_EQ(KeepPacket(&head, nullptr, 0), nullptr);
  EXPECT_EQ(KeptPacketCount(nullptr), 0u);
  FreePackets(nullptr);
}

}  // namespace
}  // namespace tavi
