// The queue between the discovery worker and the host list: copies, batches, order.
#include "console/core/found_replies.h"

#include <gtest/gtest.h>

#include <atomic>
#include <thread>

#include "protocol/frames.h"

namespace {

// A delivered reply in a transport buffer, its first byte and adapter count as given.
std::vector<uint8_t> Delivered(uint8_t tag, uint8_t nicCount) {
  std::vector<uint8_t> frame(kConsoleReplyBufferLength, 0xAB);
  frame[0] = tag;
  frame[FrameOffset::Host + RecordOffset::NicCount] = nicCount;
  return frame;
}

TEST(FoundReplies, OneWakeAPerBatchCopiesAsFarAsTheRecordGoesInOrder) {
  FoundReplies queue;
  EXPECT_FALSE(queue.Add(nullptr));
  EXPECT_TRUE(queue.Take().empty());

  auto first = Delivered(1, 2), second = Delivered(2, 250);
  EXPECT_TRUE(queue.Add(first.data())) << "the first of a batch wakes the interface";
  first[0] = 99;  // the transport's buffer may change afterwards: the copy does not
  EXPECT_FALSE(queue.Add(second.data()));
  auto batch = queue.Take();
  ASSERT_EQ(batch.size(), 2u);
  EXPECT_EQ(batch[0][0], 1);
  EXPECT_EQ(batch[0].size(), kReplyBaseLength + HostRecordLength(2));
  EXPECT_EQ(batch[1][0], 2);
  // An announced count beyond what the console keeps is cut as the row reads it.
  EXPECT_EQ(batch[1].size(), kReplyBaseLength + HostRecordLength(kConsoleNicCapacity));
  EXPECT_LE(batch[1].size(), kConsoleReplyBufferLength);
  EXPECT_TRUE(queue.Take().empty());
  EXPECT_TRUE(queue.Add(second.data())) << "after a take, the next reply wakes again";
}

TEST(FoundReplies, NothingIsLostBetweenWorkersAndTheTakingThread) {
  FoundReplies queue;
  const auto reply = Delivered(7, 1);
  std::atomic<bool> done{false};
  std::atomic<int> wakes{0};
  std::size_t taken = 0;
  std::thread workers[2];
  for (auto& w : workers)
    w = std::thread([&] {
      for (int i = 0; i < 2000; ++i) wakes += queue.Add(reply.data()) ? 1 : 0;
    });
  std::thread taker([&] {
    while (!done) taken += queue.Take().size();
  });
  for (auto& w : workers) w.join();
  done = true;
  taker.join();
  taken += queue.Take().size();
  EXPECT_EQ(taken, 4000u);
  EXPECT_GE(wakes.load(), 1);
}

}  // namespace
