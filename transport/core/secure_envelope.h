// Messages of envelope version 3, the authenticated channel. The kind is in bits 1..2 of
// the envelope flags; bit 0 marks replies as in version 1. Sizes are exact: a message whose
// length does not fit its kind is refused.
//
//   Signed (1): Discover, Poll, Refresh - readable, the reply authenticated
//     request  nonce[16] request[24..2048]
//     reply    reply[24..2048] agentKey[32] signature[64]
//              signature = Ed25519 over kSignedLabel request txid(u32) consoleMac agentMac reply
//   Hello (2): first round trip of an authenticated request, no secrets
//     request  nonce[16]
//     reply    ephemeral[32] freshness[16] agentKey[32] signature[64]
//              signature = Ed25519 over kHelloLabel request freshness ephemeral txid(u32)
//                          consoleMac agentMac
//   Sealed (3): ApplySettings, ChangePassword, Team, Unteam, Restart and their replies
//     request  ephemeral[32] freshness[16] ciphertext[24..2048] tag[16]
//     reply    ciphertext[24..2048] tag[16]
//     ChaCha20-Poly1305, nonce zero (every key seals one message), associated data =
//     version flags txid(u32) destination source (secure_envelope.cpp: SealedAssociatedData)
//
// `request` in a transcript is RequestDigest of the request answered: SHA-256 of version,
// flags and the whole request message. A reply is thereby bound to the exact request the
// console sent, not only to its nonce: a station that saw the nonce cannot have an agent
// answer another request (other header bytes, another code) under it.
//
// Keys of a sealed exchange: HKDF-SHA256 with the X25519 secret of the two ephemerals as
// input, SHA-256 of the transcript (kKeyLabel, the hello request's digest, freshness, both
// ephemerals, the agent's key, both MACs) as salt; 64 bytes: console-to-agent key, then
// agent-to-console key.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <vector>

#include "protocol/frames.h"
#include "transport/core/crypto.h"
#include "transport/core/envelope.h"
#include "transport/core/reassembly.h"

namespace tavi {

constexpr std::size_t kNonceLength = 16;
constexpr std::size_t kMinInner = kHeaderLength;  // a request or reply header at least
using Nonce = std::array<uint8_t, kNonceLength>;

enum class SecureKind : uint8_t { Signed = 1, Hello = 2, Sealed = 3 };

inline uint8_t SecureFlags(SecureKind kind, bool reply) {
  return static_cast<uint8_t>((static_cast<uint8_t>(kind) << EnvelopeFlag::KindShift) |
                              (reply ? EnvelopeFlag::Reply : 0));
}
inline SecureKind KindOf(uint8_t flags) {
  return static_cast<SecureKind>((flags & EnvelopeFlag::KindMask) >> EnvelopeFlag::KindShift);
}

// Parsed views; pointers point into the message they were parsed from.
struct SignedRequest {
  Nonce nonce{};
  const uint8_t* request = nullptr;
  std::size_t length = 0;
};
struct SignedReply {
  const uint8_t* reply = nullptr;
  std::size_t length = 0;
  crypto::Key agentKey{};
  crypto::Signature signature{};
};
struct HelloReply {
  crypto::Key ephemeral{};
  Nonce freshness{};
  crypto::Key agentKey{};
  crypto::Signature signature{};
};
struct SealedRequest {
  crypto::Key ephemeral{};
  Nonce freshness{};
  const uint8_t* sealed = nullptr;  // ciphertext and tag
  std::size_t length = 0;
};

bool ParseSignedRequest(const std::vector<uint8_t>& message, SignedRequest& out);
bool ParseSignedReply(const std::vector<uint8_t>& message, SignedReply& out);
bool ParseHelloRequest(const std::vector<uint8_t>& message, Nonce& out);
bool ParseHelloReply(const std::vector<uint8_t>& message, HelloReply& out);
bool ParseSealedRequest(const std::vector<uint8_t>& message, SealedRequest& out);
// A sealed reply is ciphertext and tag only: its length has to allow a header.
inline bool SealedReplyLengthOk(std::size_t length) {
  return length >= kMinInner + crypto::kTagLength &&
         length <= kMaxMessageLength + crypto::kTagLength;
}

// SHA-256 of version, flags and message: what binds a reply to its request.
crypto::Digest RequestDigest(uint8_t flags, const uint8_t* message, std::size_t length);
crypto::Digest RequestDigest(const Message& request);

// What the signatures cover.
std::vector<uint8_t> SignedReplyTranscript(const crypto::Digest& request, uint32_t transactionId,
                                           const Mac& console, const Mac& agent,
                                           const uint8_t* reply, std::size_t length);
std::vector<uint8_t> HelloTranscript(const crypto::Digest& request, const Nonce& freshness,
                                     const crypto::Key& ephemeral, uint32_t transactionId,
                                     const Mac& console, const Mac& agent);

struct ChannelKeys {
  crypto::Key toAgent{};
  crypto::Key toConsole{};
  void Wipe() {
    crypto::Wipe(toAgent);
    crypto::Wipe(toConsole);
  }
};
bool DeriveChannelKeys(const crypto::Key& shared, const crypto::Digest& helloRequest,
                       const Nonce& freshness, const crypto::Key& agentEphemeral,
                       const crypto::Key& consoleEphemeral, const crypto::Key& agentKey,
                       const Mac& console, const Mac& agent, ChannelKeys& out);

std::vector<uint8_t> SealedAssociatedData(uint8_t flags, uint32_t transactionId,
                                          const Mac& destination, const Mac& source);
// Seals or opens one inner message of a sealed exchange with its direction's key.
bool SealInner(const crypto::Key& key, uint8_t flags, uint32_t transactionId,
               const Mac& destination, const Mac& source, const uint8_t* plain,
               std::size_t length, std::vector<uint8_t>& out);
bool OpenInner(const crypto::Key& key, uint8_t flags, uint32_t transactionId,
               const Mac& destination, const Mac& source, const uint8_t* sealed,
               std::size_t length, std::vector<uint8_t>& plain);

}  // namespace tavi
