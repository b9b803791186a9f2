// Shared pieces of the transport tests: MACs, requests, and a fake agent that serves a
// ServerCore the way the agent's request loop does.
#pragma once

#include <atomic>
#include <chrono>
#include <cstdint>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

#include "tests/transport/memory_link.h"
#include "transport/core/server_core.h"

namespace tavi::test {

Mac TestMac(uint16_t n, uint8_t vendor = 0x02);

// A zero-filled request of `length` bytes with adapterIndex, agentMac and requestCode set.
std::vector<uint8_t> MakeRequest(uint32_t code, const Mac& agent, std::size_t length = 84,
                                 uint32_t adapterIndex = 0);

// Serves one ServerCore over links to `segment`, one per MAC, on its own thread: drops a
// repeated header like the agent's loop, copies the header into the reply, sets frameKind
// 2, and answers with `replyLength` bytes whose bytes from 27 on count up (i & 0xFF).
class FakeAgent {
 public:
  FakeAgent(MemorySegment& segment, std::vector<Mac> slotMacs, std::size_t replyLength = 32,
            std::chrono::milliseconds workTime = std::chrono::milliseconds(0));
  // Over links of any kind, one per slot.
  FakeAgent(std::vector<std::unique_ptr<Link>> links, std::size_t replyLength);
  // Behind the authenticated channel: every request comes through `channel`.
  FakeAgent(MemorySegment& segment, std::vector<Mac> slotMacs,
            std::shared_ptr<SecureServer> channel, std::size_t replyLength = 32);
  ~FakeAgent();

  int executed() const { return executed_; }
  int repeatedHeaders() const { return repeated_; }
  ServerCore& core() { return core_; }
  // Every request the loop executed, as it received it.
  std::vector<std::vector<uint8_t>> executedRequests();

 private:
  void Loop();

  std::size_t replyLength_;
  std::chrono::milliseconds workTime_;
  ServerCore core_;
  std::atomic<bool> running_{true};
  std::atomic<int> executed_{0};
  std::atomic<int> repeated_{0};
  std::mutex mutex_;
  std::vector<std::vector<uint8_t>> executedRequests_;
  std::thread thread_;
};

}  // namespace tavi::test
