// Cost of the channel's cryptography, natively and under Wine (windows build:
// wine bin/channel_bench.exe). Prints CPU microseconds per primitive, per side of one
// authenticated request and of one signed discovery reply, and the round trip of a sealed
// request and of a signed Refresh between ClientCore and ServerCore over the in-memory
// segment (no network: the channel's own overhead).
#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <functional>
#include <thread>
#include <vector>
#ifdef _WIN32
#include <windows.h>
#else
#include <time.h>
#endif

#include "protocol/byte_order.h"
#include "transport/core/client_core.h"
#include "tests/transport/memory_link.h"
#include "transport/core/secure_client.h"
#include "transport/core/secure_server.h"
#include "transport/core/server_core.h"

using namespace tavi;
using namespace std::chrono_literals;

namespace {

// CPU time of this thread in microseconds: on a loaded machine the wall clock would count
// other processes' turns too.
double CpuMicros() {
#ifdef _WIN32
  FILETIME created, exited, kernel, user;
  GetThreadTimes(GetCurrentThread(), &created, &exited, &kernel, &user);
  const auto ticks = [](const FILETIME& f) {
    return (static_cast<uint64_t>(f.dwHighDateTime) << 32) | f.dwLowDateTime;
  };
  return static_cast<double>(ticks(kernel) + ticks(user)) / 10.0;
#else
  timespec t{};
  clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
  return static_cast<double>(t.tv_sec) * 1e6 + static_cast<double>(t.tv_nsec) / 1e3;
#endif
}

// Repeats batches of n calls until a fifth of a second of CPU time has passed: Wine's thread
// times advance in steps of several milliseconds, which a batch of fast calls would fall into.
double MicrosPer(int n, const std::function<void()>& f) {
  const double t = CpuMicros();
  long calls = 0;
  double spent = 0;
  do {
    for (int i = 0; i < n; ++i) f();
    calls += n;
    spent = CpuMicros() - t;
  } while (spent < 200000.0);
  return spent / static_cast<double>(calls);
}

const Mac kConsole = {0x06, 0, 0x5E, 0x10, 0, 0xC0};
const Mac kAgent = {0x02, 0, 0x5E, 0x10, 0, 0xA0};

void RoundTrips(const Identity& id) {
  MemorySegment segment;
  auto channel = std::make_shared<SecureServer>(id);
  ServerCore server;
  server.SetChannel(channel);
  std::vector<std::unique_ptr<Link>> slots;
  slots.push_back(segment.Attach(kAgent));
  server.Open(std::move(slots));
  std::atomic<bool> running{true};
  std::thread agent([&] {
    std::vector<uint8_t> request(2048), reply(2048);
    while (running) {
      std::size_t n = 0;
      if (!server.Receive(request.data(), request.size(), n, 50ms)) continue;
      std::fill(reply.begin(), reply.end(), 0);
      std::memcpy(reply.data(), request.data(), 24);
      StoreU16(reply.data() + 10, 2);
      server.Send(reply.data(), LoadU32(request.data() + 12) == 9 ? 596 : 32);
    }
  });
  std::vector<std::unique_ptr<Link>> links;
  links.push_back(segment.Attach(kConsole));
  ClientCore core(std::move(links));
  SecureClient secure(std::make_shared<TrustStore>(std::string()));
  for (uint32_t code : {9u, 2u}) {
    std::vector<uint8_t> request(code == 2 ? 128 : 84, 0);
    std::memcpy(request.data() + 4, kAgent.data(), 6);
    StoreU32(request.data() + 12, code);
    std::vector<double> times;
    for (int i = 0; i < 200; ++i) {
      std::vector<uint8_t> reply;
      const auto t = Clock::now();
      const auto r = secure.Exchange(core, 0, kAgent, request.data(), request.size(), {2000ms, 1}, reply);
      if (r.outcome == Outcome::Replied && r.refusal == 0)
        times.push_back(std::chrono::duration<double, std::micro>(Clock::now() - t).count());
    }
    std::sort(times.begin(), times.end());
    if (!times.empty())
      std::printf("round trip in memory (wall), %s: p50 %.0f us  p99 %.0f us  (%zu of 200)\n",
                  code == 2 ? "sealed ApplySettings (2 round trips)" : "signed Refresh",
                  times[times.size() / 2], times[times.size() * 99 / 100], times.size());
  }
  running = false;
  core.Shutdown();
  server.Close();
  agent.join();
}

}  // namespace

int main() {
  if (!crypto::Initialise()) {
    std::printf("libsodium unusable\n");
    return 1;
  }
  Identity id;
  GenerateIdentity(id);
  std::vector<uint8_t> message(300, 0x5A);
  crypto::Signature sig{};
  crypto::Key a{}, aPub{}, b{}, bPub{}, shared{};
  crypto::X25519KeyPair(b, bPub);
  crypto::X25519KeyPair(a, aPub);
  std::vector<uint8_t> sealed, opened;
  crypto::Key key{};
  const uint8_t zeroNonce[crypto::kAeadNonceLength] = {};
  // A full frame's payload, sealed once here: the arguments below run in any order.
  const std::vector<uint8_t> payload(596, 0xA5);
  crypto::AeadSeal(key, zeroNonce, nullptr, 0, payload.data(), payload.size(), sealed);
  const std::vector<uint8_t> sealedPayload = sealed;
  // A genuine signature to check: libsodium turns an all-zero one away before any arithmetic.
  crypto::Ed25519Sign(id.seed, id.publicKey, message.data(), message.size(), sig);
  const crypto::Signature genuine = sig;

  std::printf("primitive (cpu us): ed25519 sign %.0f  verify %.0f  x25519 keypair %.0f  agree %.0f"
              "  hkdf %.1f  aead seal 600 B %.1f  open %.1f  sha256 600 B %.1f  hmac 600 B %.1f\n",
              MicrosPer(100, [&] { crypto::Ed25519Sign(id.seed, id.publicKey, message.data(), message.size(), sig); }),
              MicrosPer(100, [&] { crypto::Ed25519Verify(id.publicKey, message.data(), message.size(), genuine); }),
              MicrosPer(100, [&] { crypto::X25519KeyPair(a, aPub); }),
              MicrosPer(100, [&] { crypto::X25519(a, bPub, shared); }),
              MicrosPer(1000, [&] { ChannelKeys k; DeriveChannelKeys(shared, {}, {}, aPub, bPub, id.publicKey, kConsole, kAgent, k); }),
              MicrosPer(1000, [&] { crypto::AeadSeal(key, zeroNonce, nullptr, 0, payload.data(), payload.size(), sealed); }),
              MicrosPer(1000, [&] { crypto::AeadOpen(key, zeroNonce, nullptr, 0, sealedPayload.data(), sealedPayload.size(), opened); }),
              MicrosPer(1000, [&] { crypto::Sha256(payload.data(), payload.size()); }),
              MicrosPer(1000, [&] { crypto::HmacSha256(key.data(), key.size(), payload.data(), payload.size()); }));

  // One authenticated request, each side's cryptography as the code runs it.
  SecureServer::Limits limits;
  limits.hellosPerSecond = 1000000;
  SecureServer server(id, limits);
  std::vector<uint8_t> request(128, 0);
  StoreU32(request.data() + 12, 2);
  double agentUs = 0, consoleUs = 0;
  const int n = 50;
  for (int i = 0; i < n; ++i) {
    Message hello;
    hello.version = kSecureEnvelopeVersion;
    hello.flags = SecureFlags(SecureKind::Hello, false);
    hello.source = kConsole;
    hello.transactionId = 1;
    hello.bytes.assign(16, 0x01);
    std::vector<uint8_t> helloReply;
    double t = CpuMicros();
    server.AnswerHello(hello, kAgent, helloReply);
    agentUs += CpuMicros() - t;

    t = CpuMicros();
    HelloReply h;
    ParseHelloReply(helloReply, h);
    const auto helloDigest = RequestDigest(hello);
    const auto transcript = HelloTranscript(helloDigest, h.freshness, h.ephemeral, 1, kConsole, kAgent);
    crypto::Ed25519Verify(h.agentKey, transcript.data(), transcript.size(), h.signature);
    crypto::Key ec{}, ecPub{}, s{};
    crypto::X25519KeyPair(ec, ecPub);
    crypto::X25519(ec, h.ephemeral, s);
    ChannelKeys keys;
    DeriveChannelKeys(s, helloDigest, h.freshness, h.ephemeral, ecPub, h.agentKey, kConsole, kAgent, keys);
    std::vector<uint8_t> inner;
    const uint8_t flags = SecureFlags(SecureKind::Sealed, false);
    SealInner(keys.toAgent, flags, 2, kAgent, kConsole, request.data(), request.size(), inner);
    Message m;
    m.version = kSecureEnvelopeVersion;
    m.flags = flags;
    m.source = kConsole;
    m.transactionId = 2;
    m.bytes.assign(ecPub.begin(), ecPub.end());
    m.bytes.insert(m.bytes.end(), h.freshness.begin(), h.freshness.end());
    m.bytes.insert(m.bytes.end(), inner.begin(), inner.end());
    consoleUs += CpuMicros() - t;

    t = CpuMicros();
    std::vector<uint8_t> plain, replyMessage;
    ReplySeal seal;
    uint8_t replyFlags = 0;
    server.Open(m, kAgent, plain, seal);
    server.Seal(seal, 2, kConsole, kAgent, payload.data(), payload.size(), replyMessage, replyFlags);
    agentUs += CpuMicros() - t;

    t = CpuMicros();
    OpenInner(keys.toConsole, replyFlags, 2, kConsole, kAgent, replyMessage.data(), replyMessage.size(), plain);
    consoleUs += CpuMicros() - t;
  }
  std::printf("per authenticated request (cpu us): console %.0f  agent %.0f\n", consoleUs / n, agentUs / n);
  ReplySeal signedSeal;
  std::vector<uint8_t> signedReply;
  uint8_t f = 0;
  ReplySeal firstSeal = signedSeal;  // each seal is spent by its reply
  server.Seal(firstSeal, 1, kConsole, kAgent, message.data(), 199, signedReply, f);
  std::printf("per signed discovery reply (cpu us): agent signs %.0f  console verifies %.0f\n",
              MicrosPer(50, [&] {
                ReplySeal once = signedSeal;
                server.Seal(once, 1, kConsole, kAgent, message.data(), 199, signedReply, f);
              }),
              MicrosPer(50, [&] {
                SignedReply r;
                ParseSignedReply(signedReply, r);
                const auto t = SignedReplyTranscript(signedSeal.request, 1, kConsole, kAgent, r.reply, r.length);
                crypto::Ed25519Verify(r.agentKey, t.data(), t.size(), r.signature);
              }));
  RoundTrips(id);
  return 0;
}
