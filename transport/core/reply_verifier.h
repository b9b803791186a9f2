// Checks discovery replies off the receive path: the thread that receives submits each reply
// and goes back to receiving; a few workers check signatures in parallel (a check costs about
// half a millisecond, and a segment of a thousand agents answers within 200 ms); the results
// come back in the order the replies were submitted, on the thread that drains them, so that
// whoever lists the hosts sees the same sequence it would have seen checking inline.
//
// Two lanes: replies that carry the key pinned for their MAC are checked before any other
// (the caller keeps one per MAC), so a flood from invented MACs, however fast, cannot keep a
// pinned host's reply from its check; everything else shares the other lane. Results come
// back in submission order within a lane, the pinned lane first.
//
// Bounded: at most `capacity` replies are held per lane (queued, being checked or waiting to
// be drained); Submit refuses beyond that, so a flood costs neither memory nor threads.
#pragma once

#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

#include "transport/core/reassembly.h"

namespace tavi {

class ReplyVerifier {
 public:
  using Check = std::function<bool(const Message&)>;
  // Called on a worker whenever a result is ready to be drained (under no lock of ours).
  using Ready = std::function<void()>;
  // Hands a checked reply to the draining thread; true stops the draining.
  using Take = std::function<bool(Message&, bool verified)>;

  // The number of workers suited to this machine: its hardware threads, 1 to kMaxWorkers.
  static std::size_t DefaultWorkers();
  static constexpr std::size_t kMaxWorkers = 8;

  // Workers start as replies come in, up to `workers`; `check` runs on them, in parallel.
  ReplyVerifier(std::size_t capacity, std::size_t workers, Check check, Ready ready);
  // Stops: see Stop.
  ~ReplyVerifier();
  ReplyVerifier(const ReplyVerifier&) = delete;
  ReplyVerifier& operator=(const ReplyVerifier&) = delete;

  enum class Lane { Pinned = 0, Other = 1 };

  // False when `capacity` replies are already held in that lane or the verifier stopped:
  // the reply is dropped unchecked.
  bool Submit(Message message, Lane lane = Lane::Other);
  // Takes the checked replies at the head of the order until `deadline` passes; true when
  // `take` returned true.
  bool Drain(Clock::time_point deadline, const Take& take);
  // As Drain, but also waits for the replies still held, until `deadline`.
  bool DrainUntil(Clock::time_point deadline, const Take& take);
  // Drops the replies not yet checked, waits for the checks under way (one per worker, so
  // this is prompt) and ends the workers; after it no `check` or `ready` runs. Returns the
  // number of replies dropped unchecked or undrained.
  std::size_t Stop();

  std::size_t held() const;
  // Workers started so far, including ended ones.
  std::size_t workersStarted() const;

 private:
  struct Slot {
    Message message;
    bool started = false;
    bool done = false;
    bool verified = false;
  };
  void Work();
  bool TakeReady(std::unique_lock<std::mutex>& lock, const Take& take, Clock::time_point deadline,
                 bool& stopped);
  std::size_t HeldLocked() const { return slots_[0].size() + slots_[1].size(); }
  std::size_t UnstartedLocked() const { return unstarted_[0] + unstarted_[1]; }

  const std::size_t capacity_;
  const std::size_t maxWorkers_;
  const Check check_;
  const Ready ready_;
  mutable std::mutex mutex_;
  std::condition_variable work_;  // a slot to check, or stop
  std::condition_variable done_;  // a check finished
  // Per lane, in submission order; a slot leaves from the front only once checked and
  // drained.
  std::deque<std::shared_ptr<Slot>> slots_[2];
  std::size_t unstarted_[2] = {0, 0};
  std::size_t idle_ = 0;
  bool stopping_ = false;
  std::size_t started_ = 0;
  std::vector<std::thread> workers_;
};

}  // namespace tavi
