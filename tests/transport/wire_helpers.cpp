#include "wire_helpers.h"

#include <cstring>

#include "protocol/byte_order.h"

namespace tavi::test {

Mac TestMac(uint16_t n, uint8_t vendor) {
  return {vendor, 0x00, 0x5E, 0x10, static_cast<uint8_t>(n >> 8), static_cast<uint8_t>(n)};
}

std::vector<uint8_t> MakeRequest(uint32_t code, const Mac& agent, std::size_t length,
                                 uint32_t adapterIndex) {
  std::vector<uint8_t> request(length, 0);
  StoreU32(request.data(), adapterIndex);
  std::memcpy(request.data() + 4, agent.data(), 6);
  StoreU32(request.data() + 12, code);
  return request;
}

FakeAgent::FakeAgent(MemorySegment& segment, std::vector<Mac> slotMacs, std::size_t replyLength,
                     std::chrono::milliseconds workTime)
    : replyLength_(replyLength), workTime_(workTime) {
  std::vector<std::unique_ptr<Link>> links;
  for (const Mac& mac : slotMacs) links.push_back(segment.Attach(mac));
  core_.Open(std::move(links));
  thread_ = std::thread([this] { Loop(); });
}

FakeAgent::FakeAgent(std::vector<std::unique_ptr<Link>> links, std::size_t replyLength)
    : replyLength_(replyLength), workTime_(0) {
  core_.Open(std::move(links));
  thread_ = std::thread([this] { Loop(); });
}

FakeAgent::FakeAgent(MemorySegment& segment, std::vector<Mac> slotMacs,
                     std::shared_ptr<SecureServer> channel, std::size_t replyLength)
    : replyLength_(replyLength), workTime_(0) {
  core_.SetChannel(std::move(channel));
  std::vector<std::unique_ptr<Link>> links;
  for (const Mac& mac : slotMacs) links.push_back(segment.Attach(mac));
  core_.Open(std::move(links));
  thread_ = std::thread([this] { Loop(); });
}

std::vector<std::vector<uint8_t>> FakeAgent::executedRequests() {
  std::lock_guard<std::mutex> lock(mutex_);
  return executedRequests_;
}

FakeAgent::~FakeAgent() {
  running_ = false;
  core_.Close();
  thread_.join();
}

void FakeAgent::Loop() {
  std::vector<uint8_t> request(2048), reply(2048);
  uint8_t last[24] = {};
  while (running_) {
    std::fill(request.begin(), request.end(), 0);
    std::fill(reply.begin(), reply.end(), 0);
    std::size_t length = 0;
    if (!core_.Receive(request.data(), request.size(), length, std::chrono::milliseconds(50)))
      continue;
    if (std::memcmp(request.data(), last, 24) == 0) {
      ++repeated_;
      continue;
    }
    std::memcpy(last, request.data(), 24);
    std::memcpy(reply.data(), request.data(), 24);
    StoreU16(reply.data() + 10, 2);
    for (std::size_t i = 27; i < replyLength_; ++i) reply[i] = static_cast<uint8_t>(i);
    {
      std::lock_guard<std::mutex> lock(mutex_);
      executedRequests_.emplace_back(request.begin(), request.begin() + static_cast<std::ptrdiff_t>(length));
    }
    ++executed_;
    if (workTime_.count() > 0) std::this_thread::sleep_for(workTime_);
    core_.Send(reply.data(), replyLength_);
  }
}

}  // namespace tavi::test
