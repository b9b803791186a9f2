// The envelope in front of every fragment, after the Ethernet header:
//
//   off len
//    0   1  version: 1 clear, 3 the authenticated channel (secure_envelope.h); 2 (the
//             channel before replies were bound to their request) is refused as unknown
//    1   1  flags: bit 0 = reply (agent to console); version 3: bits 1..2 = message kind;
//             other bits must be zero
//    2   4  transaction id, little-endian: the same for every fragment and retransmission
//    6   1  fragment index, 0 .. count-1
//    7   1  fragment count, 1 .. kMaxFragments
//    8   2  fragment payload length
//   10   2  message length (all fragments)
//   12      payload
//
// Fragment i carries message bytes [i * kFragmentPayload, ...); every fragment but the last
// is full, so a receiver can place each fragment without offsets and rejects any fragment
// whose lengths disagree with its index and count. Frames may be padded after the payload.
// Version 3 has the same header; its messages carry up to kMaxSecureOverhead bytes of keys,
// signature and tag beyond the 2048 bytes of a request or reply.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "transport/core/wire.h"

namespace tavi {

constexpr uint8_t kEnvelopeVersion = 1;
constexpr uint8_t kSecureEnvelopeVersion = 3;
constexpr std::size_t kEnvelopeHeaderLength = 12;
constexpr std::size_t kMaxMessageLength = 2048;
constexpr std::size_t kMaxSecureOverhead = 128;
constexpr std::size_t kMaxWireMessageLength = kMaxMessageLength + kMaxSecureOverhead;
constexpr std::size_t kFragmentPayload = kEthernetMaxPayload - kEnvelopeHeaderLength;  // 1488
constexpr std::size_t kMaxFragments =
    (kMaxWireMessageLength + kFragmentPayload - 1) / kFragmentPayload;  // 2

namespace EnvelopeFlag {
constexpr uint8_t Reply = 0x01;
constexpr uint8_t Known = Reply;
constexpr uint8_t KindShift = 1;
constexpr uint8_t KindMask = 0x06;
constexpr uint8_t KnownSecure = Reply | KindMask;
}  // namespace EnvelopeFlag

// Why a frame was not accepted; kept as counters by the receivers.
enum class FrameVerdict {
  Accepted,
  ForeignType,  // not our EtherType
  Truncated,    // shorter than the headers or the payload it announces
  BadVersion,
  Malformed,    // flags, index, count or lengths out of range or inconsistent
  GroupSource,  // a source address with the group bit: no station sends from one
};

// One parsed fragment; payload points into the frame it was parsed from.
struct Fragment {
  uint8_t version = kEnvelopeVersion;
  Mac destination{};
  Mac source{};
  uint8_t flags = 0;
  uint32_t transactionId = 0;
  uint8_t index = 0;
  uint8_t count = 0;
  uint16_t messageLength = 0;
  const uint8_t* payload = nullptr;
  std::size_t payloadLength = 0;
};

FrameVerdict ParseFragment(const uint8_t* frame, std::size_t length, Fragment& out);

// The frames that carry one message of 1..kMaxMessageLength bytes (version 3: up to
// kMaxWireMessageLength), each padded to the Ethernet minimum; empty for any other length.
std::vector<std::vector<uint8_t>> BuildFrames(const Mac& destination, const Mac& source,
                                              uint8_t flags, uint32_t transactionId,
                                              const uint8_t* message, std::size_t length,
                                              uint8_t version = kEnvelopeVersion);

}  // namespace tavi
