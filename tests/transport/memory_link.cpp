#include "tests/transport/memory_link.h"

#include <algorithm>

namespace tavi {

struct MemorySegment::Endpoint {
  Mac mac{};
  std::mutex handlerMutex;  // held while the handler runs, so Stop can wait for it
  FrameHandler handler;
  bool attached = true;
};

class MemorySegment::MemoryLink final : public Link {
 public:
  MemoryLink(MemorySegment& segment, std::shared_ptr<Endpoint> endpoint)
      : segment_(segment), endpoint_(std::move(endpoint)) {}
  ~MemoryLink() override {
    Stop();
    std::lock_guard<std::mutex> lock(segment_.mutex_);
    endpoint_->attached = false;
    auto& all = segment_.endpoints_;
    all.erase(std::remove(all.begin(), all.end(), endpoint_), all.end());
  }
  Mac Address() const override { return endpoint_->mac; }
  bool LinkUp() const override { return true; }
  bool Send(const uint8_t* frame, std::size_t length) override {
    if (frame == nullptr || length < kEthernetHeaderLength || length > kEthernetMaxFrame)
      return false;
    segment_.Submit(endpoint_.get(), frame, length);
    return true;
  }
  bool Start(FrameHandler handler) override {
    std::lock_guard<std::mutex> lock(endpoint_->handlerMutex);
    endpoint_->handler = std::move(handler);
    return true;
  }
  void Stop() override {
    std::lock_guard<std::mutex> lock(endpoint_->handlerMutex);
    endpoint_->handler = nullptr;
  }

 private:
  MemorySegment& segment_;
  std::shared_ptr<Endpoint> endpoint_;
};

MemorySegment::MemorySegment() : thread_([this] { Run(); }) {}

MemorySegment::~MemorySegment() {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    stopping_ = true;
  }
  wake_.notify_all();
  thread_.join();
}

std::unique_ptr<Link> MemorySegment::Attach(const Mac& mac) {
  auto endpoint = std::make_shared<Endpoint>();
  endpoint->mac = mac;
  std::lock_guard<std::mutex> lock(mutex_);
  endpoints_.push_back(endpoint);
  return std::make_unique<MemoryLink>(*this, endpoint);
}

void MemorySegment::SetImpairment(Impairment impairment) {
  std::lock_guard<std::mutex> lock(mutex_);
  impairment_ = std::move(impairment);
}

void MemorySegment::SetDelay(std::chrono::microseconds delay) {
  std::lock_guard<std::mutex> lock(mutex_);
  delay_ = delay;
}

uint64_t MemorySegment::framesSent() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return sent_;
}

void MemorySegment::Submit(const Endpoint* sender, const uint8_t* frame, std::size_t length) {
  std::lock_guard<std::mutex> lock(mutex_);
  ++sent_;
  const FrameFate fate = impairment_ ? impairment_(frame, length) : FrameFate::Deliver;
  Pending pending{std::vector<uint8_t>(frame, frame + length), sender, Clock::now() + delay_};
  switch (fate) {
    case FrameFate::Drop:
      return;
    case FrameFate::HoldBack:
      held_.push_back(std::move(pending));
      return;
    case FrameFate::Duplicate:
      queue_.push_back(pending);
      queue_.push_back(std::move(pending));
      break;
    case FrameFate::Deliver:
      queue_.push_back(std::move(pending));
      break;
  }
  for (auto& held : held_) {
    held.due = queue_.back().due;
    queue_.push_back(std::move(held));
  }
  held_.clear();
  wake_.notify_all();
}

void MemorySegment::Run() {
  std::unique_lock<std::mutex> lock(mutex_);
  for (;;) {
    if (stopping_) return;
    if (queue_.empty()) {
      wake_.wait(lock);
      continue;
    }
    if (queue_.front().due > Clock::now()) {
      wake_.wait_until(lock, queue_.front().due);
      continue;
    }
    Pending pending = std::move(queue_.front());
    queue_.pop_front();
    lock.unlock();
    Deliver(pending);
    lock.lock();
  }
}

void MemorySegment::Deliver(const Pending& pending) {
  const Mac destination = MacAt(pending.frame.data());
  std::vector<std::shared_ptr<Endpoint>> targets;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    for (const auto& endpoint : endpoints_) {
      if (endpoint.get() == pending.sender) continue;
      if (IsBroadcast(destination) || endpoint->mac == destination) targets.push_back(endpoint);
    }
  }
  for (const auto& endpoint : targets) {
    std::lock_guard<std::mutex> lock(endpoint->handlerMutex);
    if (endpoint->handler) endpoint->handler(pending.frame.data(), pending.frame.size());
  }
}

}  // namespace tavi
