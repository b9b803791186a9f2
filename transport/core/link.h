// One adapter's frame link: sends whole Ethernet frames and delivers every received frame
// to a handler on a thread of the link. Implemented over pcap and in memory (for tests).
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>

#include "transport/core/wire.h"

namespace tavi {

using FrameHandler = std::function<void(const uint8_t* frame, std::size_t length)>;

class Link {
 public:
  virtual ~Link() = default;
  virtual Mac Address() const = 0;
  // The adapter's link state as the system reports it.
  virtual bool LinkUp() const = 0;
  virtual bool Send(const uint8_t* frame, std::size_t length) = 0;
  // Starts delivery; false when the link cannot receive.
  virtual bool Start(FrameHandler handler) = 0;
  // Stops delivery: once it returns no handler call runs or will start.
  virtual void Stop() = 0;
};

}  // namespace tavi
