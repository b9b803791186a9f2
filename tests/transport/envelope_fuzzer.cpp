// libFuzzer target: arbitrary bytes as a sequence of received frames, through the envelope
// parser and the reassembler (small table, so eviction and expiry are reached), and once as
// an SMBIOS table. Input: frames as [u16 length][bytes], repeated.
#include <cstddef>
#include <cstdint>
#include <cstring>

#include "transport/core/envelope.h"
#include "transport/core/reassembly.h"
#include "transport/core/smbios.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
  using namespace tavi;
  Reassembler reassembler(4, std::chrono::milliseconds(5));
  auto now = Clock::time_point();
  std::size_t offset = 0;
  while (size - offset >= 2) {
    const std::size_t length = std::min<std::size_t>(data[offset] | (data[offset + 1] << 8),
                                                     size - offset - 2);
    offset += 2;
    // A copy of exactly `length` bytes, so reading one byte too far is an ASan error.
    auto* frame = new uint8_t[length ? length : 1];
    std::memcpy(frame, data + offset, length);
    offset += length;
    Fragment fragment;
    if (ParseFragment(frame, length, fragment) == FrameVerdict::Accepted) {
      Message message;
      if (reassembler.Add(fragment, now, message) &&
          message.bytes.size() != fragment.messageLength)
        __builtin_trap();
    }
    delete[] frame;
    now += std::chrono::milliseconds(1);
  }
  (void)BaseboardProduct(data, size);
  return 0;
}
