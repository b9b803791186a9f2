#include "transport/core/envelope.h"

#include <algorithm>

#include "protocol/byte_order.h"

namespace tavi {

FrameVerdict ParseFragment(const uint8_t* frame, std::size_t length, Fragment& out) {
  if (frame == nullptr || length < kEthernetHeaderLength) return FrameVerdict::Truncated;
  if (EtherTypeAt(frame) != kEtherType) return FrameVerdict::ForeignType;
  // A group source is forged by construction, and would make a broadcast of any reply or
  // per-source bound that keys on it.
  if ((frame[6] & 0x01) != 0) return FrameVerdict::GroupSource;
  if (length < kEthernetHeaderLength + kEnvelopeHeaderLength) return FrameVerdict::Truncated;

  const uint8_t* e = frame + kEthernetHeaderLength;
  if (e[0] != kEnvelopeVersion && e[0] != kSecureEnvelopeVersion) return FrameVerdict::BadVersion;
  const bool secure = e[0] == kSecureEnvelopeVersion;
  Fragment f;
  f.version = e[0];
  f.destination = MacAt(frame);
  f.source = MacAt(frame + 6);
  f.flags = e[1];
  f.transactionId = LoadU32(e + 2);
  f.index = e[6];
  f.count = e[7];
  f.payloadLength = LoadU16(e + 8);
  f.messageLength = LoadU16(e + 10);

  if ((f.flags & ~(secure ? EnvelopeFlag::KnownSecure : EnvelopeFlag::Known)) != 0)
    return FrameVerdict::Malformed;
  if (secure && (f.flags & EnvelopeFlag::KindMask) == 0) return FrameVerdict::Malformed;
  if (f.messageLength == 0 ||
      f.messageLength > (secure ? kMaxWireMessageLength : kMaxMessageLength))
    return FrameVerdict::Malformed;
  const std::size_t expectedCount = (f.messageLength + kFragmentPayload - 1) / kFragmentPayload;
  if (f.count != expectedCount || f.index >= f.count) return FrameVerdict::Malformed;
  const std::size_t expectedLength =
      f.index + 1u < f.count ? kFragmentPayload
                             : f.messageLength - kFragmentPayload * (f.count - 1u);
  if (f.payloadLength != expectedLength) return FrameVerdict::Malformed;
  if (f.payloadLength > length - kEthernetHeaderLength - kEnvelopeHeaderLength)
    return FrameVerdict::Truncated;
  f.payload = e + kEnvelopeHeaderLength;
  out = f;
  return FrameVerdict::Accepted;
}

std::vector<std::vector<uint8_t>> BuildFrames(const Mac& destination, const Mac& source,
                                              uint8_t flags, uint32_t transactionId,
                                              const uint8_t* message, std::size_t length,
                                              uint8_t version) {
  std::vector<std::vector<uint8_t>> frames;
  const std::size_t limit =
      version == kSecureEnvelopeVersion ? kMaxWireMessageLength : kMaxMessageLength;
  if (message == nullptr || length == 0 || length > limit) return frames;
  const std::size_t count = (length + kFragmentPayload - 1) / kFragmentPayload;
  frames.reserve(count);
  for (std::size_t i = 0; i < count; ++i) {
    const std::size_t offset = i * kFragmentPayload;
    const std::size_t part = std::min(kFragmentPayload, length - offset);
    std::vector<uint8_t> frame(
        std::max(kEthernetMinFrame, kEthernetHeaderLength + kEnvelopeHeaderLength + part), 0);
    std::copy(destination.begin(), destination.end(), frame.begin());
    std::copy(source.begin(), source.end(), frame.begin() + 6);
    frame[12] = static_cast<uint8_t>(kEtherType >> 8);
    frame[13] = static_cast<uint8_t>(kEtherType & 0xFF);
    uint8_t* e = frame.data() + kEthernetHeaderLength;
    e[0] = version;
    e[1] = flags;
    StoreU32(e + 2, transactionId);
    e[6] = static_cast<uint8_t>(i);
    e[7] = static_cast<uint8_t>(count);
    StoreU16(e + 8, static_cast<uint16_t>(part));
    StoreU16(e + 10, static_cast<uint16_t>(length));
    std::copy(message + offset, message + offset + part, e + kEnvelopeHeaderLength);
    frames.push_back(std::move(frame));
  }
  return frames;
}

}  // namespace tavi
