// An in-memory Ethernet segment for tests and benchmarks: links attached to it exchange
// frames through one delivery thread, in order, to the destination MAC or to every other
// link for broadcasts. A test can drop, duplicate, delay or hold back (reorder) frames.
#pragma once

#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

#include "transport/core/link.h"

namespace tavi {

enum class FrameFate {
  Deliver,
  Drop,
  Duplicate,  // delivered twice
  HoldBack,   // delivered after the next frame that is delivered
};

class MemorySegment {
 public:
  // Decides each frame's fate; called in send order with the frame as sent.
  using Impairment = std::function<FrameFate(const uint8_t* frame, std::size_t length)>;

  MemorySegment();
  ~MemorySegment();
  MemorySegment(const MemorySegment&) = delete;
  MemorySegment& operator=(const MemorySegment&) = delete;

  // The link must not outlive the segment.
  std::unique_ptr<Link> Attach(const Mac& mac);
  void SetImpairment(Impairment impairment);
  // Every frame is delivered this long after it was sent.
  void SetDelay(std::chrono::microseconds delay);
  uint64_t framesSent() const;

 private:
  class MemoryLink;
  struct Endpoint;
  struct Pending {
    std::vector<uint8_t> frame;
    const Endpoint* sender;
    Clock::time_point due;
  };

  void Submit(const Endpoint* sender, const uint8_t* frame, std::size_t length);
  void Run();
  void Deliver(const Pending& pending);

  mutable std::mutex mutex_;
  std::condition_variable wake_;
  std::deque<Pending> queue_;
  std::vector<std::shared_ptr<Endpoint>> endpoints_;
  std::vector<Pending> held_;
  Impairment impairment_;
  std::chrono::microseconds delay_{0};
  uint64_t sent_ = 0;
  bool stopping_ = false;
  std::thread thread_;
};

}  // namespace tavi
