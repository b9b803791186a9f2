// Many simulated adapters on one pcap device: each virtual link has its own MAC and gets the
// broadcasts and the frames addressed to it; all of them send through the one device. Lets
// one process play a farm of agents on a veth segment.
#pragma once

#include <memory>
#include <mutex>
#include <unordered_map>
#include <vector>

#include "transport/core/link.h"

namespace tavi::bench {

class Fanout {
 public:
  // `device` must receive every MAC's frames (a promiscuous link).
  explicit Fanout(std::unique_ptr<Link> device);
  ~Fanout();
  // Valid until the fanout is destroyed; add every link before Start.
  std::unique_ptr<Link> Attach(const Mac& mac);
  bool Start();

 private:
  class VirtualLink;
  struct Endpoint {
    Mac mac{};
    std::mutex mutex;
    FrameHandler handler;
  };
  struct MacHash {
    std::size_t operator()(const Mac& m) const {
      std::size_t h = 0;
      for (uint8_t b : m) h = h * 131 + b;
      return h;
    }
  };
  void Dispatch(const uint8_t* frame, std::size_t length);

  std::unique_ptr<Link> device_;
  std::vector<std::shared_ptr<Endpoint>> endpoints_;
  std::unordered_map<Mac, std::shared_ptr<Endpoint>, MacHash> byMac_;
};

}  // namespace tavi::bench
