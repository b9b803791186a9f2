#include "fanout_link.h"

namespace tavi::bench {

class Fanout::VirtualLink final : public Link {
 public:
  VirtualLink(Link& device, std::shared_ptr<Endpoint> endpoint)
      : device_(device), endpoint_(std::move(endpoint)) {}
  ~VirtualLink() override { Stop(); }
  Mac Address() const override { return endpoint_->mac; }
  bool LinkUp() const override { return device_.LinkUp(); }
  bool Send(const uint8_t* frame, std::size_t length) override {
    return device_.Send(frame, length);
  }
  bool Start(FrameHandler handler) override {
    std::lock_guard<std::mutex> lock(endpoint_->mutex);
    endpoint_->handler = std::move(handler);
    return true;
  }
  void Stop() override {
    std::lock_guard<std::mutex> lock(endpoint_->mutex);
    endpoint_->handler = nullptr;
  }

 private:
  Link& device_;
  std::shared_ptr<Endpoint> endpoint_;
};

Fanout::Fanout(std::unique_ptr<Link> device) : device_(std::move(device)) {}

Fanout::~Fanout() { device_->Stop(); }

std::unique_ptr<Link> Fanout::Attach(const Mac& mac) {
  auto endpoint = std::make_shared<Endpoint>();
  endpoint->mac = mac;
  endpoints_.push_back(endpoint);
  byMac_[mac] = endpoint;
  return std::make_unique<VirtualLink>(*device_, endpoint);
}

bool Fanout::Start() {
  return device_->Start([this](const uint8_t* f, std::size_t n) { Dispatch(f, n); });
}

void Fanout::Dispatch(const uint8_t* frame, std::size_t length) {
  if (length < kEthernetHeaderLength) return;
  const Mac destination = MacAt(frame);
  const auto deliver = [&](Endpoint& e) {
    std::lock_guard<std::mutex> lock(e.mutex);
    if (e.handler) e.handler(frame, length);
  };
  if (IsBroadcast(destination)) {
    for (auto& e : endpoints_) deliver(*e);
  } else if (auto it = byMac_.find(destination); it != byMac_.end()) {
    deliver(*it->second);
  }
}

}  // namespace tavi::bench
