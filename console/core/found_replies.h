// Discovery replies on their way from the worker to the host list. The transport hands the
// worker's hook each reply as it lists it; the hook copies it here and wakes the interface
// with one posted message per batch, and the interface adds the whole batch at once. A
// discovery so goes at the transport's pace: before, each reply waited for its row (a
// window round trip and a repaint, about 30 a second under Wine), which under a flood of
// replies that verify held the discovery open for minutes.
//
// Bounded by the transport's host limit per discovery: the interface empties the queue at
// every batch and before each discovery.
#pragma once

#include <cstdint>
#include <mutex>
#include <vector>

class FoundReplies {
 public:
  // Copies the reply as far as its record goes (ReplyView::Delivered); true when the queue
  // was empty, so the interface is to be woken. A null reply is ignored.
  bool Add(const uint8_t* reply);
  // Everything queued, in the order it came; the queue is empty afterwards.
  std::vector<std::vector<uint8_t>> Take();

 private:
  std::mutex mutex_;
  std::vector<std::vector<uint8_t>> replies_;
};

// The queue between the discovery worker and the main dialog.
extern FoundReplies foundReplies;
