#include "transport/core/pcap_link.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <exception>

namespace tavi {

namespace {
constexpr int kSnapLength = static_cast<int>(kEthernetMaxFrame) + 4;  // room for a VLAN tag
constexpr int kReadTimeoutMs = 1;
constexpr char kFilter[] = "ether proto 0x88b5";

PcapHandle* OpenHandle(const PcapApi& api, const std::string& device, bool promiscuous,
                       char* errbuf) {
  if (api.HasImmediateMode()) {
    PcapHandle* p = api.create(device.c_str(), errbuf);
    if (p == nullptr) return nullptr;
    api.set_snaplen(p, kSnapLength);
    api.set_promisc(p, promiscuous ? 1 : 0);
    api.set_timeout(p, kReadTimeoutMs);
    api.set_immediate_mode(p, 1);
    if (api.activate(p) < 0) {  // warnings (> 0) are fine
      std::snprintf(errbuf, kPcapErrorBufferSize, "%s", api.geterr(p));
      api.close(p);
      return nullptr;
    }
    return p;
  }
  return api.open_live(device.c_str(), kSnapLength, promiscuous ? 1 : 0, kReadTimeoutMs, errbuf);
}
}  // namespace

std::unique_ptr<PcapLink> PcapLink::Open(const PcapApi& api, const std::string& device,
                                         const Mac& mac, PcapLinkOptions options,
                                         std::string* error) {
  char errbuf[kPcapErrorBufferSize] = {};
  PcapHandle* handle = OpenHandle(api, device, options.promiscuous, errbuf);
  if (handle == nullptr) {
    if (error) *error = errbuf;
    return nullptr;
  }
  PcapFilterProgram program{};
  if (api.compile(handle, &program, kFilter, 1, 0xFFFFFFFFu) != 0 ||
      api.setfilter(handle, &program) != 0) {
    if (error) *error = api.geterr(handle);
    if (program.instructions) api.freecode(&program);
    api.close(handle);
    return nullptr;
  }
  api.freecode(&program);
  return std::unique_ptr<PcapLink>(new PcapLink(api, handle, mac, std::move(options)));
}

PcapLink::PcapLink(const PcapApi& api, PcapHandle* handle, const Mac& mac,
                   PcapLinkOptions options)
    : api_(api), handle_(handle), mac_(mac), options_(std::move(options)) {}

PcapLink::~PcapLink() {
  Stop();
  api_.close(handle_);
}

bool PcapLink::Send(const uint8_t* frame, std::size_t length) {
  if (frame == nullptr || length < kEthernetHeaderLength || length > kEthernetMaxFrame)
    return false;
  std::lock_guard<std::mutex> lock(sendMutex_);
  return api_.sendpacket(handle_, frame, static_cast<int>(length)) == 0;
}

bool PcapLink::Start(FrameHandler handler) {
  std::lock_guard<std::mutex> lock(startMutex_);
  if (reader_.joinable()) return false;
  stopping_ = false;
  running_ = true;
  reader_ = std::thread([this, h = std::move(handler)] { Read(h); });
  return true;
}

void PcapLink::Stop() {
  std::lock_guard<std::mutex> lock(startMutex_);
  if (!reader_.joinable()) return;
  stopping_ = true;
  // A breakloop that lands just before the reader enters pcap_next_ex can be missed on
  // some builds: repeat it until the reader has left.
  while (running_) {
    api_.breakloop(handle_);
    std::this_thread::sleep_for(std::chrono::milliseconds(2));
  }
  reader_.join();
}

void PcapLink::Read(FrameHandler handler) {
  while (!stopping_) {
    PcapPacketHeader* header = nullptr;
    const unsigned char* data = nullptr;
    const int r = api_.next_ex(handle_, &header, &data);
    if (r == 1 && header != nullptr && data != nullptr) {
      // caplen is what the buffer holds; len is what the wire carried.
      try {
        handler(data, std::min<std::size_t>(header->capturedLength, kSnapLength));
      } catch (const std::exception&) {
        // Out of memory for one frame: drop it, keep reading.
      }
    } else if (r == kPcapBreak) {
      continue;
    } else if (r < 0) {
      // The device went away (a restart will reopen it); do not spin on the error.
      ++readErrors_;
      std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
  }
  running_ = false;
}

}  // namespace tavi
