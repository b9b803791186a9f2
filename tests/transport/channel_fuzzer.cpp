// libFuzzer target for the channel's decoders: arbitrary bytes as a channel message of
// any kind and direction, through every parser, the console's signature and key checks on
// what it parsed, the agent's Open and AnswerHello (fixed identity) and the sealed opener.
// Input: [flags][bytes of the message...].
#include <cstddef>
#include <cstdint>
#include <cstring>

#include "transport/core/secure_envelope.h"
#include "transport/core/secure_server.h"

namespace {
tavi::SecureServer& Server() {
  static tavi::SecureServer* server = [] {
    tavi::Identity id;
    tavi::GenerateIdentity(id);
    tavi::SecureServer::Limits limits;
    limits.hellosPerSecond = 1000000;
    return new tavi::SecureServer(id, limits);
  }();
  return *server;
}
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
  using namespace tavi;
  if (size < 1) return 0;
  Message m;
  m.version = kSecureEnvelopeVersion;
  m.flags = data[0];
  m.source = {0x02, 0, 0, 0, 0, 1};
  m.destination = {0x02, 0, 0, 0, 0, 2};
  m.transactionId = 7;
  m.bytes.assign(data + 1, data + size);  // exactly the input: one byte too far is an ASan error

  SignedRequest sr;
  SignedReply rep;
  Nonce nonce;
  HelloReply hr;
  SealedRequest sq;
  if (ParseSignedRequest(m.bytes, sr) && sr.length + kNonceLength != m.bytes.size()) __builtin_trap();
  // The console verifies keys and signatures straight off the wire.
  if (ParseSignedReply(m.bytes, rep)) {
    if (rep.length + 96 != m.bytes.size()) __builtin_trap();
    (void)crypto::Ed25519Verify(rep.agentKey, rep.reply, rep.length, rep.signature);
  }
  (void)ParseHelloRequest(m.bytes, nonce);
  if (ParseHelloReply(m.bytes, hr)) {
    (void)crypto::Ed25519Verify(hr.agentKey, m.bytes.data(), 16, hr.signature);
    crypto::Key mine{}, shared{};
    mine[0] = 9;
    (void)crypto::X25519(mine, hr.ephemeral, shared);
  }
  if (ParseSealedRequest(m.bytes, sq) && sq.length + 48 != m.bytes.size()) __builtin_trap();

  crypto::Key key{};
  std::vector<uint8_t> plain;
  if (OpenInner(key, m.flags, m.transactionId, m.destination, m.source, m.bytes.data(),
                m.bytes.size(), plain) &&
      plain.size() + crypto::kTagLength != m.bytes.size())
    __builtin_trap();

  std::vector<uint8_t> out;
  ReplySeal seal;
  const SecureKind kind = KindOf(m.flags);
  if (kind == SecureKind::Hello) {
    if (Server().AnswerHello(m, m.destination, out) && out.size() != 144) __builtin_trap();
  } else if (Server().Open(m, m.destination, out, seal)) {
    if (out.size() < kMinInner || out.size() > kMaxMessageLength) __builtin_trap();
  }
  return 0;
}
