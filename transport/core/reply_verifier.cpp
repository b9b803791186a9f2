#include "transport/core/reply_verifier.h"

#include <algorithm>
#include <system_error>

namespace tavi {

std::size_t ReplyVerifier::DefaultWorkers() {
  const std::size_t hardware = std::thread::hardware_concurrency();
  return std::clamp<std::size_t>(hardware, 1, kMaxWorkers);
}

ReplyVerifier::ReplyVerifier(std::size_t capacity, std::size_t workers, Check check, Ready ready)
    : capacity_(capacity),
      maxWorkers_(std::clamp<std::size_t>(workers, 1, kMaxWorkers)),
      check_(std::move(check)),
      ready_(std::move(ready)) {}

ReplyVerifier::~ReplyVerifier() { Stop(); }

bool ReplyVerifier::Submit(Message message, Lane lane) {
  const auto l = static_cast<std::size_t>(lane);
  std::lock_guard<std::mutex> lock(mutex_);
  if (stopping_ || slots_[l].size() >= capacity_) return false;
  auto slot = std::make_shared<Slot>();
  slot->message = std::move(message);
  slots_[l].push_back(std::move(slot));
  ++unstarted_[l];
  // A worker more only when none is waiting: a quiet segment costs no threads at all.
  if (idle_ == 0 && workers_.size() < maxWorkers_) {
    try {
      workers_.emplace_back([this] { Work(); });
      ++started_;
    } catch (const std::system_error&) {
      // No thread to be had: the workers there are carry on; with none, nothing is checked.
      if (workers_.empty()) {
        slots_[l].pop_back();
        --unstarted_[l];
        return false;
      }
    }
  }
  work_.notify_one();
  return true;
}

void ReplyVerifier::Work() {
  std::unique_lock<std::mutex> lock(mutex_);
  for (;;) {
    ++idle_;
    work_.wait(lock, [this] { return stopping_ || UnstartedLocked() > 0; });
    --idle_;
    if (stopping_) return;
    // The pinned lane first; within a lane slots start in submission order: the first
    // unstarted one is unstarted_ from the back.
    const std::size_t l = unstarted_[0] > 0 ? 0 : 1;
    std::shared_ptr<Slot> slot = slots_[l][slots_[l].size() - unstarted_[l]];
    --unstarted_[l];
    slot->started = true;
    lock.unlock();
    const bool verified = check_(slot->message);
    lock.lock();
    slot->verified = verified;
    slot->done = true;
    done_.notify_all();
    if (stopping_ || !ready_) continue;
    lock.unlock();
    ready_();
    lock.lock();
  }
}

bool ReplyVerifier::TakeReady(std::unique_lock<std::mutex>& lock, const Take& take,
                              Clock::time_point deadline, bool& stopped) {
  stopped = false;
  // `take` may be slow (it lists a host): the deadline is looked at before each one.
  for (;;) {
    auto* lane = !slots_[0].empty() && slots_[0].front()->done   ? &slots_[0]
                 : !slots_[1].empty() && slots_[1].front()->done ? &slots_[1]
                                                                 : nullptr;
    if (lane == nullptr || Clock::now() >= deadline) return false;
    std::shared_ptr<Slot> slot = std::move(lane->front());
    lane->pop_front();
    lock.unlock();
    stopped = take(slot->message, slot->verified);
    lock.lock();
    if (stopped) return true;
  }
}

bool ReplyVerifier::Drain(Clock::time_point deadline, const Take& take) {
  std::unique_lock<std::mutex> lock(mutex_);
  bool stopped = false;
  TakeReady(lock, take, deadline, stopped);
  return stopped;
}

bool ReplyVerifier::DrainUntil(Clock::time_point deadline, const Take& take) {
  std::unique_lock<std::mutex> lock(mutex_);
  for (;;) {
    bool stopped = false;
    if (TakeReady(lock, take, deadline, stopped)) return true;
    if (HeldLocked() == 0 || stopping_ || Clock::now() >= deadline) return false;
    const auto frontDone = [this] {
      return (!slots_[0].empty() && slots_[0].front()->done) ||
             (!slots_[1].empty() && slots_[1].front()->done);
    };
    if (done_.wait_until(lock, deadline) == std::cv_status::timeout && !frontDone())
      return false;
  }
}

std::size_t ReplyVerifier::Stop() {
  std::vector<std::thread> workers;
  std::size_t dropped = 0;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    stopping_ = true;
    dropped = HeldLocked();
    unstarted_[0] = unstarted_[1] = 0;
    workers.swap(workers_);
    work_.notify_all();
  }
  for (auto& w : workers) w.join();
  std::lock_guard<std::mutex> lock(mutex_);
  slots_[0].clear();
  slots_[1].clear();
  return dropped;
}

std::size_t ReplyVerifier::held() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return HeldLocked();
}

std::size_t ReplyVerifier::workersStarted() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return started_;
}

}  // namespace tavi
