#include "transport/core/secure_envelope.h"

#include <algorithm>
#include <cstring>

#include "protocol/byte_order.h"

namespace tavi {

namespace {
const char kSignedLabel[] = "netvane signed reply v3";
const char kHelloLabel[] = "netvane hello v3";
const char kKeyLabel[] = "netvane channel keys v3";

void Append(std::vector<uint8_t>& out, const void* data, std::size_t length) {
  const auto* p = static_cast<const uint8_t*>(data);
  out.insert(out.end(), p, p + length);
}
template <typename T>
void AppendArray(std::vector<uint8_t>& out, const T& a) {
  Append(out, a.data(), a.size());
}
void AppendU32(std::vector<uint8_t>& out, uint32_t v) {
  uint8_t b[4];
  StoreU32(b, v);
  Append(out, b, 4);
}
}  // namespace

bool ParseSignedRequest(const std::vector<uint8_t>& message, SignedRequest& out) {
  if (message.size() < kNonceLength + kMinInner || message.size() > kNonceLength + kMaxMessageLength)
    return false;
  std::copy_n(message.begin(), kNonceLength, out.nonce.begin());
  out.request = message.data() + kNonceLength;
  out.length = message.size() - kNonceLength;
  return true;
}

bool ParseSignedReply(const std::vector<uint8_t>& message, SignedReply& out) {
  constexpr std::size_t tail = crypto::kKeyLength + crypto::kSignatureLength;
  if (message.size() < kMinInner + tail || message.size() > kMaxMessageLength + tail) return false;
  out.reply = message.data();
  out.length = message.size() - tail;
  std::copy_n(message.begin() + static_cast<std::ptrdiff_t>(out.length), crypto::kKeyLength,
              out.agentKey.begin());
  std::copy_n(message.begin() + static_cast<std::ptrdiff_t>(out.length + crypto::kKeyLength),
              crypto::kSignatureLength, out.signature.begin());
  return true;
}

bool ParseHelloRequest(const std::vector<uint8_t>& message, Nonce& out) {
  if (message.size() != kNonceLength) return false;
  std::copy_n(message.begin(), kNonceLength, out.begin());
  return true;
}

bool ParseHelloReply(const std::vector<uint8_t>& message, HelloReply& out) {
  if (message.size() != 2 * crypto::kKeyLength + kNonceLength + crypto::kSignatureLength)
    return false;
  const uint8_t* p = message.data();
  const auto take = [&p](auto& field) {
    std::copy_n(p, field.size(), field.begin());
    p += field.size();
  };
  take(out.ephemeral);
  take(out.freshness);
  take(out.agentKey);
  take(out.signature);
  return true;
}

bool ParseSealedRequest(const std::vector<uint8_t>& message, SealedRequest& out) {
  constexpr std::size_t head = crypto::kKeyLength + kNonceLength;
  if (message.size() < head || !SealedReplyLengthOk(message.size() - head)) return false;
  std::copy_n(message.begin(), crypto::kKeyLength, out.ephemeral.begin());
  std::copy_n(message.begin() + crypto::kKeyLength, kNonceLength, out.freshness.begin());
  out.sealed = message.data() + head;
  out.length = message.size() - head;
  return true;
}

crypto::Digest RequestDigest(uint8_t flags, const uint8_t* message, std::size_t length) {
  std::vector<uint8_t> all{kSecureEnvelopeVersion, flags};
  Append(all, message, length);
  return crypto::Sha256(all.data(), all.size());
}

crypto::Digest RequestDigest(const Message& request) {
  return RequestDigest(request.flags, request.bytes.data(), request.bytes.size());
}

std::vector<uint8_t> SignedReplyTranscript(const crypto::Digest& request, uint32_t transactionId,
                                           const Mac& console, const Mac& agent,
                                           const uint8_t* reply, std::size_t length) {
  std::vector<uint8_t> t;
  t.reserve(sizeof kSignedLabel + request.size() + 16 + length);
  Append(t, kSignedLabel, sizeof kSignedLabel);
  AppendArray(t, request);
  AppendU32(t, transactionId);
  AppendArray(t, console);
  AppendArray(t, agent);
  Append(t, reply, length);
  return t;
}

std::vector<uint8_t> HelloTranscript(const crypto::Digest& request, const Nonce& freshness,
                                     const crypto::Key& ephemeral, uint32_t transactionId,
                                     const Mac& console, const Mac& agent) {
  std::vector<uint8_t> t;
  Append(t, kHelloLabel, sizeof kHelloLabel);
  AppendArray(t, request);
  AppendArray(t, freshness);
  AppendArray(t, ephemeral);
  AppendU32(t, transactionId);
  AppendArray(t, console);
  AppendArray(t, agent);
  return t;
}

bool DeriveChannelKeys(const crypto::Key& shared, const crypto::Digest& helloRequest,
                       const Nonce& freshness, const crypto::Key& agentEphemeral,
                       const crypto::Key& consoleEphemeral, const crypto::Key& agentKey,
                       const Mac& console, const Mac& agent, ChannelKeys& out) {
  std::vector<uint8_t> t;
  Append(t, kKeyLabel, sizeof kKeyLabel);
  AppendArray(t, helloRequest);
  AppendArray(t, freshness);
  AppendArray(t, agentEphemeral);
  AppendArray(t, consoleEphemeral);
  AppendArray(t, agentKey);
  AppendArray(t, console);
  AppendArray(t, agent);
  const crypto::Digest salt = crypto::Sha256(t.data(), t.size());
  uint8_t okm[2 * crypto::kKeyLength];
  if (!crypto::Hkdf(salt.data(), salt.size(), shared.data(), shared.size(),
                    reinterpret_cast<const uint8_t*>(kKeyLabel), sizeof kKeyLabel, okm,
                    sizeof okm))
    return false;
  std::copy_n(okm, crypto::kKeyLength, out.toAgent.begin());
  std::copy_n(okm + crypto::kKeyLength, crypto::kKeyLength, out.toConsole.begin());
  crypto::Wipe(okm, sizeof okm);
  return true;
}

std::vector<uint8_t> SealedAssociatedData(uint8_t flags, uint32_t transactionId,
                                          const Mac& destination, const Mac& source) {
  std::vector<uint8_t> ad{kSecureEnvelopeVersion, flags};
  AppendU32(ad, transactionId);
  AppendArray(ad, destination);
  AppendArray(ad, source);
  return ad;
}

namespace {
const uint8_t kZeroNonce[crypto::kAeadNonceLength] = {};
}

bool SealInner(const crypto::Key& key, uint8_t flags, uint32_t transactionId,
               const Mac& destination, const Mac& source, const uint8_t* plain,
               std::size_t length, std::vector<uint8_t>& out) {
  const auto ad = SealedAssociatedData(flags, transactionId, destination, source);
  return crypto::AeadSeal(key, kZeroNonce, ad.data(), ad.size(), plain, length, out);
}

bool OpenInner(const crypto::Key& key, uint8_t flags, uint32_t transactionId,
               const Mac& destination, const Mac& source, const uint8_t* sealed,
               std::size_t length, std::vector<uint8_t>& plain) {
  if (!SealedReplyLengthOk(length)) return false;
  const auto ad = SealedAssociatedData(flags, transactionId, destination, source);
  return crypto::AeadOpen(key, kZeroNonce, ad.data(), ad.size(), sealed, length, plain);
}

}  // namespace tavi
