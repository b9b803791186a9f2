// Discovery and round-trip benchmark on a veth segment: one console (ClientCore over pcap,
// through the authenticated channel) and a farm of N simulated agent adapters (one
// ServerCore, key pair and agent thread each, distinct MACs, sharing one promiscuous pcap
// handle). Every discovery reply is signed by its agent and verified by the console. Prints,
// per N: replies received of N, time from the broadcast to the last verified reply, the
// console's CPU time for the signature checks (per reply and in total), loss, and the p50/p99
// round trip of a signed Refresh with a 596-byte reply. Each N runs twice: "shared", where the
// farm's N signatures compete with the console for the same cores, and "pinned", where the
// farm's threads run on CPU 0 and the console's (its receive thread and its checking workers)
// on the others, as a console and a segment of real servers would. Run it through
// run_discovery_bench.sh, which makes the segment.
// Usage: discovery_bench CLIENT_DEVICE FARM_DEVICE [N ...]
#include <algorithm>
#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <thread>
#include <vector>
#include <pthread.h>
#include <sched.h>

#include "fanout_link.h"
#include "protocol/byte_order.h"
#include "transport/core/client_core.h"
#include "transport/core/pcap_link.h"
#include "transport/core/secure_client.h"
#include "transport/core/server_core.h"
#include "transport/platform/adapters.h"

using namespace tavi;
using namespace std::chrono_literals;

namespace {

class SimulatedAgent {
 public:
  SimulatedAgent(std::unique_ptr<Link> link) : mac_(link->Address()) {
    Identity identity;
    GenerateIdentity(identity);
    core_.SetChannel(std::make_shared<SecureServer>(identity));
    std::vector<std::unique_ptr<Link>> links;
    links.push_back(std::move(link));
    core_.Open(std::move(links));
    thread_ = std::thread([this] { Loop(); });
  }
  ~SimulatedAgent() {
    running_ = false;
    core_.Close();
    thread_.join();
  }
  const Mac& mac() const { return mac_; }

 private:
  void Loop() {
    std::vector<uint8_t> request(2048), reply(2048);
    while (running_) {
      std::size_t n = 0;
      if (!core_.Receive(request.data(), request.size(), n, 200ms)) continue;
      std::fill(reply.begin(), reply.end(), 0);
      std::memcpy(reply.data(), request.data(), 24);
      StoreU16(reply.data() + 10, 2);
      const uint32_t code = LoadU32(request.data() + 12);
      std::size_t length = 32;
      if (code == 1) {
        reply[27 + 124] = 1;  // one adapter: this one
        std::memcpy(reply.data() + 155, mac_.data(), 6);
        length = 27 + 128 + 44;
      } else if (code == 9) {
        length = 596;
      }
      core_.Send(reply.data(), length);
    }
  }

  Mac mac_;
  ServerCore core_;
  std::atomic<bool> running_{true};
  std::thread thread_;
};

Mac FarmMac(int i) {
  return {0x02, 0x54, 0x56, 0x00, static_cast<uint8_t>(i >> 8), static_cast<uint8_t>(i)};
}

bool FindAdapter(const std::string& name, AdapterInfo& out) {
  for (const auto& a : ListConsoleAdapters())
    if (a.label == name) {
      out = a;
      return true;
    }
  return false;
}

double Percentile(std::vector<double> v, double p) {
  if (v.empty()) return 0;
  std::sort(v.begin(), v.end());
  return v[static_cast<std::size_t>(p * static_cast<double>(v.size() - 1))];
}

// Threads inherit the CPUs of the thread that creates them: pin this one before making the
// farm's threads, then the console's. An empty list means every CPU.
void PinThisThread(const std::vector<int>& cpus) {
  cpu_set_t set;
  CPU_ZERO(&set);
  const int count = static_cast<int>(std::thread::hardware_concurrency());
  for (int cpu = 0; cpu < count; ++cpu)
    if (cpus.empty() || std::find(cpus.begin(), cpus.end(), cpu) != cpus.end()) CPU_SET(cpu, &set);
  pthread_setaffinity_np(pthread_self(), sizeof set, &set);
}

std::vector<int> ConsoleCpus() {
  std::vector<int> cpus;
  for (int cpu = 1; cpu < static_cast<int>(std::thread::hardware_concurrency()); ++cpu) cpus.push_back(cpu);
  return cpus;
}

int RunOnce(const PcapApi& api, const AdapterInfo& client, const AdapterInfo& farm, int n,
            bool pinned) {
  if (pinned) PinThisThread({0});
  std::string error;
  PcapLinkOptions promiscuous;
  promiscuous.promiscuous = true;
  auto farmLink = PcapLink::Open(api, farm.device, farm.mac, promiscuous, &error);
  auto clientLink = PcapLink::Open(api, client.device, client.mac, {}, &error);
  if (!farmLink || !clientLink) {
    std::fprintf(stderr, "cannot open devices: %s\n", error.c_str());
    return 1;
  }
  auto fanout = std::make_unique<bench::Fanout>(std::move(farmLink));
  std::vector<std::unique_ptr<SimulatedAgent>> agents;
  for (int i = 0; i < n; ++i) agents.push_back(std::make_unique<SimulatedAgent>(fanout->Attach(FarmMac(i))));
  fanout->Start();
  if (pinned) PinThisThread(ConsoleCpus());
  std::vector<std::unique_ptr<Link>> links;
  links.push_back(std::move(clientLink));
  ClientCore console(std::move(links));
  SecureClient secure(std::make_shared<TrustStore>(std::string()));
  std::this_thread::sleep_for(200ms);

  // One broadcast, no repeats: what arrives is what the segment delivered the first time.
  std::vector<uint8_t> discover(84, 0);
  std::memset(discover.data() + 4, 0xFF, 6);
  StoreU32(discover.data() + 12, 1);
  std::vector<double> arrivals;
  const auto start = Clock::now();
  secure.Discover(console, 0, discover.data(), discover.size(), {5000ms, 0}, [&](const Message&) {
    arrivals.push_back(std::chrono::duration<double, std::milli>(Clock::now() - start).count());
  });
  const double last = arrivals.empty() ? 0 : arrivals.back();
  const auto& c = secure.counters();
  const double checks = static_cast<double>(c.verifications.load());
  const double verifyMs = static_cast<double>(c.verifyMicros.load()) / 1000.0;

  // Round trips to one agent: a Refresh answered with 596 bytes.
  std::vector<uint8_t> refresh(84, 0);
  std::memcpy(refresh.data() + 4, agents.front()->mac().data(), 6);
  StoreU32(refresh.data() + 12, 9);
  std::vector<double> rtt;
  int lost = 0;
  for (int i = 0; i < 500; ++i) {
    std::vector<uint8_t> reply;
    const auto t = Clock::now();
    const Outcome o = secure.Exchange(console, 0, agents.front()->mac(), refresh.data(),
                                      refresh.size(), {1000ms, 0}, reply).outcome;
    if (o == Outcome::Replied && reply.size() == 596)
      rtt.push_back(std::chrono::duration<double, std::micro>(Clock::now() - t).count());
    else
      ++lost;
  }
  std::printf("N=%-5d %-6s replies %4zu/%-4d  last verified reply %7.1f ms  verify CPU %6.1f us/reply"
              " %7.1f ms total (%llu checks, %zu workers)  loss %d  (unverified %llu, unchecked %llu,"
              " client drops: overflow %llu)  rtt596 p50 %6.1f us  p99 %6.1f us  (%d lost of 500)\n",
              n, pinned ? "pinned" : "shared", arrivals.size(), n, last,
              checks > 0 ? verifyMs * 1000.0 / checks : 0.0, verifyMs,
              static_cast<unsigned long long>(checks), ReplyVerifier::DefaultWorkers(),
              n - static_cast<int>(arrivals.size()),
              static_cast<unsigned long long>(c.unverified.load()),
              static_cast<unsigned long long>(c.unchecked.load()),
              static_cast<unsigned long long>(console.counters().drops.overflow.load()),
              Percentile(rtt, 0.50), Percentile(rtt, 0.99), lost);
  std::fflush(stdout);
  console.Shutdown();
  agents.clear();
  if (pinned) PinThisThread({});
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 3) {
    std::fprintf(stderr, "usage: %s CLIENT_DEVICE FARM_DEVICE [N ...]\n", argv[0]);
    return 2;
  }
  const PcapApi* api = LoadPcap();
  AdapterInfo client, farm;
  if (!api || !FindAdapter(argv[1], client) || !FindAdapter(argv[2], farm)) {
    std::fprintf(stderr, "no libpcap or no such devices\n");
    return 1;
  }
  std::vector<int> sizes;
  for (int i = 3; i < argc; ++i) sizes.push_back(std::atoi(argv[i]));
  if (sizes.empty()) sizes = {10, 100, 1000};
  const bool canPin = std::thread::hardware_concurrency() >= 2;
  if (!canPin) std::printf("one CPU: the pinned runs are left out\n");
  for (int n : sizes)
    for (bool pinned : {false, true})
      if ((!pinned || canPin) && RunOnce(*api, client, farm, n, pinned) != 0) return 1;
  return 0;
}
