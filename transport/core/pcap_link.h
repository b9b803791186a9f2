// A Link over one pcap device, with a capture filter on our EtherType and a reader thread.
//
// The reader blocks in pcap_next_ex with a 1 ms read time-out (immediate mode where the
// library has it) and is woken for Stop by pcap_breakloop: under Wine a zero time-out never
// delivers and pcap_next_ex does not return on an idle link, and pcap_loop is missing.
#pragma once

#include <atomic>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

#include "transport/core/link.h"
#include "transport/core/pcap_api.h"

namespace tavi {

struct PcapLinkOptions {
  bool promiscuous = false;  // only a simulated farm of many MACs needs it
  std::function<bool()> linkUp;  // the adapter's link state; up when not given
};

class PcapLink final : public Link {
 public:
  // Null when the device cannot be opened or filtered; `error` says why.
  static std::unique_ptr<PcapLink> Open(const PcapApi& api, const std::string& device,
                                        const Mac& mac, PcapLinkOptions options,
                                        std::string* error = nullptr);
  ~PcapLink() override;

  Mac Address() const override { return mac_; }
  bool LinkUp() const override { return options_.linkUp ? options_.linkUp() : true; }
  bool Send(const uint8_t* frame, std::size_t length) override;
  bool Start(FrameHandler handler) override;
  void Stop() override;

  uint64_t readErrors() const { return readErrors_; }

 private:
  PcapLink(const PcapApi& api, PcapHandle* handle, const Mac& mac, PcapLinkOptions options);
  void Read(FrameHandler handler);

  const PcapApi& api_;
  PcapHandle* handle_;
  Mac mac_;
  PcapLinkOptions options_;
  std::mutex sendMutex_;
  std::mutex startMutex_;
  std::thread reader_;
  std::atomic<bool> stopping_{false};
  std::atomic<bool> running_{false};
  std::atomic<uint64_t> readErrors_{0};
};

}  // namespace tavi
