// A station that floods the console's discoveries with replies from invented MACs. It waits
// for a discovery broadcast on IFACE (the channel's envelope, signed kind) and answers it from
// COUNT new locally administered MACs. Native, libpcap; run in a lab namespace of its own.
//
//   signed   every reply is a well-formed signed reply that verifies: the agent's reply with
//            a host record named FLOOD<n>, a key of its own (KEYS distinct keys, made before
//            "ready", the n-th MAC uses key n % KEYS) and an Ed25519 signature over this
//            discovery's nonce, id and both MACs. Paced at RATE per second at most, signed
//            by THREADS threads; a signature costs a fraction of a millisecond, so the rate
//            reached is printed.
//   garbage  replies that must cost the console as little as possible but look like answers:
//            in turn a signed reply with a wrong signature (the console pays one verify),
//            a version-1 reply, a truncated envelope and random bytes; unpaced (RATE 0) or
//            paced, for DURATION seconds from each discovery.
//
// Usage: discovery_flooder IFACE signed COUNT RATE [KEYS [THREADS [DISCOVERIES]]]
//        discovery_flooder IFACE garbage DURATION RATE [DISCOVERIES]
// The k-th discovery answered (from 0) uses MACs 06:f1:k:..., so each brings new senders.
// Prints "ready" when listening, then per discovery:
//   "flood MODE ID SENT SECONDS RATE" and for signed "sign-us MICROSECONDS" (per signature).
#include <pcap/pcap.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "protocol/byte_order.h"
#include "transport/core/crypto.h"
#include "transport/core/envelope.h"
#include "transport/core/secure_envelope.h"

namespace {

using namespace tavi;
using Seconds = std::chrono::duration<double>;

constexpr std::size_t kRequestHeader = 24;
constexpr std::size_t kReplyLength = 155;  // header, status, setupState, host record without NICs
constexpr std::size_t kHost = 27;

struct Discovery {
  int round = 0;  // how many discoveries were answered before this one
  Mac console{};
  uint32_t transactionId = 0;
  crypto::Digest request{};  // what a reply's signature must cover
  uint8_t header[kRequestHeader]{};
};

// A console's signed discovery, read the way an agent reads it.
bool ReadDiscovery(const uint8_t* frame, std::size_t length, Discovery& out) {
  Fragment f;
  if (ParseFragment(frame, length, f) != FrameVerdict::Accepted) return false;
  if (f.version != kSecureEnvelopeVersion || f.flags != SecureFlags(SecureKind::Signed, false) ||
      !IsBroadcast(f.destination) || f.count != 1 || f.payloadLength != f.messageLength)
    return false;
  const std::vector<uint8_t> message(f.payload, f.payload + f.payloadLength);
  SignedRequest request;
  if (!ParseSignedRequest(message, request) || LoadU32(request.request + 12) != 1) return false;
  out.console = f.source;
  out.transactionId = f.transactionId;
  out.request = RequestDigest(f.flags, message.data(), message.size());
  std::memcpy(out.header, request.request, kRequestHeader);
  return true;
}

Mac InventedMac(int round, long n) {
  return {0x06, 0xF1, static_cast<uint8_t>(round), static_cast<uint8_t>(n >> 16), static_cast<uint8_t>(n >> 8),
          static_cast<uint8_t>(n)};
}

// The reply an agent would send, from the invented adapter `mac`, host FLOOD<n>.
std::vector<uint8_t> Reply(const Discovery& d, const Mac& mac, long n) {
  std::vector<uint8_t> r(kReplyLength, 0);
  std::memcpy(r.data(), d.header, kRequestHeader);
  std::memcpy(r.data() + 4, mac.data(), mac.size());
  StoreU16(r.data() + 10, 2);  // frameKind: reply
  r[26] = 4;                   // setupState: every adapter addressed
  uint8_t* host = r.data() + kHost;
  std::snprintf(reinterpret_cast<char*>(host), 33, "FLOOD%05ld", n);
  std::memcpy(host + 36, "Forged", 6);
  StoreU32(host + 104, static_cast<uint32_t>(n));
  host[108] = 1;  // osValid
  host[109] = 1;  // Windows
  host[112] = 2;
  host[114] = 5;
  host[115] = 2;
  return r;
}

struct Key {
  crypto::Key seed{};
  crypto::Key publicKey{};
};

class Pacer {
 public:
  explicit Pacer(double rate) : rate_(rate), start_(std::chrono::steady_clock::now()) {}
  // Never ahead of RATE frames per second; RATE 0 is unpaced.
  void Wait(long sent) const {
    if (rate_ <= 0) return;
    while (static_cast<double>(sent) / rate_ > Elapsed()) std::this_thread::sleep_for(std::chrono::microseconds(100));
  }
  double Elapsed() const { return Seconds(std::chrono::steady_clock::now() - start_).count(); }

 private:
  double rate_;
  std::chrono::steady_clock::time_point start_;
};

std::mutex sendMutex;

bool Send(pcap_t* p, const std::vector<uint8_t>& frame) {
  std::lock_guard<std::mutex> lock(sendMutex);
  return pcap_sendpacket(p, frame.data(), static_cast<int>(frame.size())) == 0;
}

struct Tally {
  long sent = 0;
  double signing = 0;  // seconds spent in Ed25519Sign
};

// Replies first, first + step, ...: one signing thread's share, paced at its share of the rate.
Tally SignAndSend(pcap_t* p, const Discovery& d, long first, long step, long count, double rate,
                  const std::vector<Key>& keys) {
  const Pacer pacer(rate / static_cast<double>(step));
  Tally t;
  for (long n = first, i = 0; n < count; n += step, ++i) {
    const Mac mac = InventedMac(d.round, n);
    const Key& key = keys[static_cast<std::size_t>(n) % keys.size()];
    std::vector<uint8_t> message = Reply(d, mac, n);
    const auto transcript =
        SignedReplyTranscript(d.request, d.transactionId, d.console, mac, message.data(), message.size());
    crypto::Signature signature;
    const auto before = std::chrono::steady_clock::now();
    if (!crypto::Ed25519Sign(key.seed, key.publicKey, transcript.data(), transcript.size(), signature))
      continue;
    t.signing += Seconds(std::chrono::steady_clock::now() - before).count();
    message.insert(message.end(), key.publicKey.begin(), key.publicKey.end());
    message.insert(message.end(), signature.begin(), signature.end());
    const auto frames = BuildFrames(d.console, mac, SecureFlags(SecureKind::Signed, true),
                                    d.transactionId, message.data(), message.size(),
                                    kSecureEnvelopeVersion);
    if (frames.size() == 1 && Send(p, frames[0])) ++t.sent;
    pacer.Wait(i + 1);
  }
  return t;
}

void FloodSigned(pcap_t* p, const Discovery& d, long count, double rate, long threads,
                 const std::vector<Key>& keys) {
  const Pacer clock(0);
  std::vector<Tally> tallies(static_cast<std::size_t>(threads));
  std::vector<std::thread> workers;
  for (long i = 0; i < threads; ++i)
    workers.emplace_back([&, i] { tallies[i] = SignAndSend(p, d, i, threads, count, rate, keys); });
  for (auto& w : workers) w.join();
  Tally all;
  for (const Tally& t : tallies) {
    all.sent += t.sent;
    all.signing += t.signing;
  }
  const double seconds = clock.Elapsed();
  std::printf("flood signed %08x %ld %.2f %.0f\n", d.transactionId, all.sent, seconds,
              static_cast<double>(all.sent) / seconds);
  std::printf("sign-us %.0f\n", count > 0 ? all.signing * 1e6 / static_cast<double>(count) : 0.0);
}

void FloodGarbage(pcap_t* p, const Discovery& d, double duration, double rate) {
  const Pacer pacer(rate);
  uint8_t noise[64];
  crypto::Random(noise, sizeof noise);
  long sent = 0;
  for (long n = 0; pacer.Elapsed() < duration; ++n) {
    const Mac mac = InventedMac(d.round, n & 0xFFFFFF);
    std::vector<uint8_t> message = Reply(d, mac, n);
    std::vector<uint8_t> frame;
    switch (n % 4) {
      case 0: {  // signed reply, key and signature made up: verifying it is the console's cost
        message.insert(message.end(), noise, noise + 32);
        message.insert(message.end(), noise, noise + 64);
        StoreU32(message.data() + message.size() - 4, static_cast<uint32_t>(n));
        frame = BuildFrames(d.console, mac, SecureFlags(SecureKind::Signed, true), d.transactionId,
                            message.data(), message.size(), kSecureEnvelopeVersion)[0];
        break;
      }
      case 1:  // the reply in the clear envelope
        frame = BuildFrames(d.console, mac, EnvelopeFlag::Reply, d.transactionId, message.data(),
                            message.size(), kEnvelopeVersion)[0];
        break;
      case 2:  // an envelope announcing more payload than the frame holds
        frame = BuildFrames(d.console, mac, SecureFlags(SecureKind::Signed, true), d.transactionId,
                            message.data(), message.size(), kSecureEnvelopeVersion)[0];
        frame.resize(kEthernetHeaderLength + kEnvelopeHeaderLength + 20);
        break;
      default:  // random bytes after our EtherType
        frame.assign(kEthernetMinFrame, 0);
        std::memcpy(frame.data(), d.console.data(), 6);
        std::memcpy(frame.data() + 6, mac.data(), 6);
        frame[12] = 0x88;
        frame[13] = 0xB5;
        std::memcpy(frame.data() + 14, noise, kEthernetMinFrame - 14);
        frame[15] = static_cast<uint8_t>(n);
    }
    if (Send(p, frame)) ++sent;
    pacer.Wait(n + 1);
  }
  const double seconds = pacer.Elapsed();
  std::printf("flood garbage %08x %ld %.2f %.0f\n", d.transactionId, sent, seconds, static_cast<double>(sent) / seconds);
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 5 || (std::strcmp(argv[2], "signed") != 0 && std::strcmp(argv[2], "garbage") != 0)) {
    std::fprintf(stderr,
                 "usage: %s IFACE signed COUNT RATE [KEYS [DISCOVERIES]]\n"
                 "       %s IFACE garbage DURATION RATE [DISCOVERIES]\n",
                 argv[0], argv[0]);
    return 2;
  }
  const bool isSigned = std::strcmp(argv[2], "signed") == 0;
  const double amount = std::atof(argv[3]);
  const double rate = std::atof(argv[4]);
  const long keyCount = isSigned && argc > 5 ? std::atol(argv[5]) : static_cast<long>(amount);
  const long threads = isSigned && argc > 6 ? std::atol(argv[6]) : 1;
  const int last = isSigned ? 7 : 5;
  long discoveries = argc > last ? std::atol(argv[last]) : 1;
  if (!crypto::Initialise() || amount <= 0 || (isSigned && (keyCount <= 0 || threads <= 0 || threads > 16))) {
    std::fprintf(stderr, "flooder: bad arguments or no libsodium\n");
    return 2;
  }
  std::vector<Key> keys(isSigned ? static_cast<std::size_t>(keyCount) : 0);
  for (Key& k : keys)
    if (!crypto::Ed25519KeyPair(k.seed, k.publicKey)) return 1;

  char error[PCAP_ERRBUF_SIZE];
  pcap_t* p = pcap_open_live(argv[1], 2048, 1, 1, error);
  if (p == nullptr) {
    std::fprintf(stderr, "flooder: %s\n", error);
    return 1;
  }
  bpf_program filter;
  if (pcap_compile(p, &filter, "ether proto 0x88b5 and ether broadcast", 1, PCAP_NETMASK_UNKNOWN) != 0 ||
      pcap_setfilter(p, &filter) != 0) {
    std::fprintf(stderr, "flooder: %s\n", pcap_geterr(p));
    return 1;
  }
  std::printf("ready %zu keys\n", keys.size());
  std::fflush(stdout);
  uint32_t lastId = 0;
  for (int round = 0; round < discoveries;) {
    pcap_pkthdr* h;
    const u_char* f;
    const int r = pcap_next_ex(p, &h, &f);
    if (r < 0) break;
    Discovery d;
    if (r == 0 || !ReadDiscovery(f, h->caplen, d)) continue;
    if (d.transactionId == lastId) continue;  // the same discovery broadcast again
    lastId = d.transactionId;
    d.round = round++;
    if (isSigned)
      FloodSigned(p, d, static_cast<long>(amount), rate, threads, keys);
    else
      FloodGarbage(p, d, amount, rate);
    std::fflush(stdout);
  }
  pcap_close(p);
  return 0;
}
