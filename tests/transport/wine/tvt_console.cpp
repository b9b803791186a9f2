// A scripted console over TaviClient.dll for the two-namespace test: discovers, then runs
// Refresh and ApplySettings requests, a poll and a cancelled request against the first host
// found, checking each outcome. Prints one line per step; exit code 0 when all checks pass.
// Usage: tvt_console REQUESTS RETRIES SET_TIMEOUT_SECONDS DISCOVERY_ROUNDS ROUND_TRIPS
#include <windows.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <thread>
#include <vector>

#include "TaviClient.h"
#include "protocol/byte_order.h"

namespace {

using Clock = std::chrono::steady_clock;
std::vector<std::vector<uint8_t>> g_hosts;
Clock::time_point g_start;
int g_failures = 0;

long Ms(Clock::time_point since) {
  return static_cast<long>(
      std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - since).count());
}

void Check(bool ok, const char* what) {
  if (!ok) {
    std::printf("FAIL %s\n", what);
    ++g_failures;
  }
}

void OnReply(const unsigned char* reply) {
  const unsigned char* nic = TVGetMACData(reply, nullptr);
  std::printf("HOST %02X:%02X:%02X:%02X:%02X:%02X nic=%s ip=%08x at=%ldms\n", reply[4], reply[5],
              reply[6], reply[7], reply[8], reply[9], reinterpret_cast<const char*>(nic + 8),
              LoadU32(nic + 32), Ms(g_start));
  g_hosts.emplace_back(reply, reply + 596);
}

std::vector<uint8_t> Targeted(uint32_t code, const std::vector<uint8_t>& host, std::size_t length) {
  std::vector<uint8_t> request(length, 0);
  std::memcpy(request.data(), host.data(), 10);
  StoreU32(request.data() + 12, code);
  return request;
}

// Runs one request into a 596-byte (or 32-byte) buffer followed by canary bytes.
uint16_t Run(std::vector<uint8_t>& request, std::size_t replyLength, long& ms, bool& canaryOk) {
  std::vector<uint8_t> reply(replyLength + 16, 0xA5);
  std::memset(reply.data(), 0, replyLength);
  TVWork work{};
  work.request = request.data();
  work.reply = reply.data();
  void* cancel = nullptr;
  const auto t = Clock::now();
  const int rc = TVDoWork(&work, &cancel);
  ms = Ms(t);
  canaryOk = true;
  for (std::size_t i = replyLength; i < reply.size(); ++i) canaryOk = canaryOk && reply[i] == 0xA5;
  return rc ? LoadU16(reply.data() + 24) : 10004;
}

}  // namespace

int main(int argc, char** argv) {
  const int requests = argc > 1 ? std::atoi(argv[1]) : 5;
  setvbuf(stdout, nullptr, _IONBF, 0);
  const int init = TVInitialize();
  std::printf("INIT %d adapters=%d\n", init, TVGetAdpaterCount());
  if (init != 0) return 1;
  TVSetRetryCount(argc > 2 ? std::atoi(argv[2]) : 3);
  TVSetSetTimeout(argc > 3 ? std::atoi(argv[3]) : 30);
  TVSetDiscoverTimeout(2);

  TVPacketList packets = nullptr;
  g_start = Clock::now();
  const int rounds = argc > 4 ? std::atoi(argv[4]) : 1;
  for (int round = 0; round < rounds && g_hosts.empty(); ++round)
  for (int a = 0; a < TVGetAdpaterCount(); ++a) {
    if (!TVIsAdapterConnected(a)) continue;
    std::vector<uint8_t> discover(84, 0);
    StoreU32(discover.data(), static_cast<uint32_t>(a));
    std::memset(discover.data() + 4, 0xFF, 6);
    StoreU32(discover.data() + 12, 1);
    TVWork work{};
    work.request = discover.data();
    work.reply = &packets;
    work.hook = OnReply;
    void* cancel = nullptr;
    Check(TVDoWork(&work, &cancel) != 0, "discover adapter usable");
  }
  std::printf("DISCOVERED %zu in %ldms\n", g_hosts.size(), Ms(g_start));
  Check(g_hosts.size() == 1, "exactly one host");
  if (g_hosts.empty()) return 1;
  const std::vector<uint8_t> host = g_hosts.front();
  const uint8_t nicCount = host[151] > 10 ? 10 : host[151];

  for (int i = 0; i < requests; ++i) {
    long ms = 0;
    bool canary = false;
    auto refresh = Targeted(9, host, 84);
    uint16_t status = Run(refresh, 596, ms, canary);
    std::printf("REQ %d code=9 status=%u ms=%ld canary=%s\n", i, status, ms, canary ? "ok" : "BAD");
    Check(status == 0 && canary, "refresh answered within its buffer");
    auto apply = Targeted(2, host, 128 + 44u * nicCount);
    apply[124] = nicCount;
    status = Run(apply, 596, ms, canary);
    std::printf("REQ %d code=2 status=%u ms=%ld canary=%s\n", i, status, ms, canary ? "ok" : "BAD");
    Check(status == 0 && canary, "apply answered within its buffer");
  }

  {
    // Round trips of a Refresh with its 596-byte reply, for the record.
    std::vector<long> us;
    const int roundTrips = argc > 5 ? std::atoi(argv[5]) : 0;
    for (int i = 0; i < roundTrips; ++i) {
      auto refresh = Targeted(9, host, 84);
      std::vector<uint8_t> reply(596, 0);
      TVWork work{};
      work.request = refresh.data();
      work.reply = reply.data();
      void* cancel = nullptr;
      const auto t = Clock::now();
      TVDoWork(&work, &cancel);
      us.push_back(static_cast<long>(
          std::chrono::duration_cast<std::chrono::microseconds>(Clock::now() - t).count()));
    }
    std::sort(us.begin(), us.end());
    if (!us.empty())
      std::printf("RTT596 p50=%ldus p99=%ldus\n", us[us.size() / 2], us[us.size() * 99 / 100]);
  }
  {
    auto poll = Targeted(6, host, 84);
    std::vector<uint8_t> reply(32, 0);
    TVWork work{};
    work.request = poll.data();
    work.reply = reply.data();
    const auto t = Clock::now();
    const int rc = TVDoPolling(&work);
    std::printf("POLL rc=%d ms=%ld frameKind=%u\n", rc, Ms(t), LoadU16(reply.data() + 10));
    Check(rc != 0 && LoadU16(reply.data() + 10) == 2, "poll answered");
  }
  {
    // Nobody has this MAC: the request would wait for its whole window unless cancelled.
    auto lost = Targeted(9, host, 84);
    std::memcpy(lost.data() + 4, "\x02\x00\x5e\x00\x00\x99", 6);
    std::vector<uint8_t> reply(596, 0);
    TVWork work{};
    work.request = lost.data();
    work.reply = reply.data();
    // TVDoWork stores the handle before it blocks; the interface thread reads it from there.
    void* handle = nullptr;
    TVSetSetTimeout(30);
    const auto t = Clock::now();
    std::thread worker([&] { TVDoWork(&work, &handle); });
    while (*static_cast<void* volatile*>(&handle) == nullptr)
      std::this_thread::sleep_for(std::chrono::milliseconds(1));
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    TVCancel(handle);
    worker.join();
    std::printf("CANCEL ms=%ld status=%u\n", Ms(t), LoadU16(reply.data() + 24));
    Check(Ms(t) < 1500 && LoadU16(reply.data() + 24) == 3, "cancel ends the request soon");
    TVCancel(handle);  // ended work: accepted
  }
  TVFreePackets(&packets);
  Check(packets == nullptr, "packet list cleared");
  TVCleanup();
  std::printf("END failures=%d\n", g_failures);
  return g_failures == 0 ? 0 : 1;
}
