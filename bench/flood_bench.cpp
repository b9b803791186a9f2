// The agent under a flood, in process over the in-memory segment: a genuine console keeps
// asking one agent while a second station floods it as fast as the segment takes frames,
// from one source MAC or from a new invented MAC per frame. The agent's request loop is
// modelled on the real one: one request at a time, its expensive work simulated by a wait
// (a collection 2 ms, a network logon 20 ms), with the flood guard on or off.
// Prints per case: flood frames per second, the console's polls per second and refreshes
// served of those asked (one every 500 ms, its own budget), and the agent's work per second.
// Usage: flood_bench [SECONDS_PER_CASE]
#include <atomic>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <thread>
#include <vector>

#include "agent/flood_guard.h"
#include "protocol/byte_order.h"
#include "transport/core/envelope.h"
#include "tests/transport/memory_link.h"
#include "transport/core/server_core.h"

using namespace tavi;
using namespace std::chrono_literals;

namespace {

const Mac kAgent = {0x02, 0xA0, 0, 0, 0, 0x01};
const Mac kConsole = {0x02, 0xC0, 0, 0, 0, 0x01};
const Mac kFlooder = {0x02, 0xF0, 0, 0, 0, 0x01};
constexpr uint32_t kDiscover = 1, kPoll = 6, kRestart = 7, kRefresh = 9;

std::vector<uint8_t> Request(uint32_t code, const Mac& to) {
  std::vector<uint8_t> message(84, 0);
  std::memcpy(message.data() + 4, to.data(), 6);
  StoreU32(message.data() + 12, code);
  return message;
}

uint64_t NowMs() {
  return static_cast<uint64_t>(
      std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now().time_since_epoch()).count());
}

struct Figures {
  double floodPerSecond = 0, pollsPerSecond = 0, collectionsPerSecond = 0, logonsPerSecond = 0;
  int refreshesAsked = 0, refreshesServed = 0;
};

enum class Flood { None, OneSource, InventedSources };

// The agent's loop: receive, ask the guard, do the work, answer.
void AgentLoop(ServerCore& core, bool guarded, std::atomic<bool>& running,
               std::atomic<uint64_t>& collections, std::atomic<uint64_t>& logons) {
  FloodGuard guard;
  InitFloodGuard(guard, NowMs());
  std::vector<uint8_t> request(2048), reply(2048);
  while (running) {
    std::size_t n = 0;
    if (!core.Receive(request.data(), request.size(), n, 100ms)) continue;
    Mac sender{};
    core.LastSender(sender);
    const uint32_t code = LoadU32(request.data() + 12);
    const WorkKind kind = code == kRestart ? WorkKind::Logon
                          : code == kPoll  ? WorkKind::Cheap
                                           : WorkKind::Collect;
    if (guarded && !AdmitRequest(guard, sender.data(), kind, NowMs())) continue;
    if (kind == WorkKind::Logon) {
      std::this_thread::sleep_for(20ms);
      ++logons;
    } else if (kind == WorkKind::Collect) {
      std::this_thread::sleep_for(2ms);
      ++collections;
    }
    std::fill(reply.begin(), reply.end(), 0);
    std::memcpy(reply.data(), request.data(), 24);
    StoreU16(reply.data() + 10, 2);
    core.Send(reply.data(), 32);
  }
}

Figures RunCase(bool guarded, Flood flood, std::chrono::seconds duration) {
  MemorySegment segment;
  auto consoleLink = segment.Attach(kConsole);
  auto flooderLink = segment.Attach(kFlooder);
  ServerCore core;
  {
    std::vector<std::unique_ptr<Link>> links;
    links.push_back(segment.Attach(kAgent));
    core.Open(std::move(links));
  }
  std::atomic<bool> running{true};
  std::atomic<uint64_t> collections{0}, logons{0}, floodFrames{0};
  std::thread agent(AgentLoop, std::ref(core), guarded, std::ref(running), std::ref(collections),
                    std::ref(logons));

  std::mutex mutex;
  std::condition_variable answered;
  uint32_t lastAnswer = 0;
  consoleLink->Start([&](const uint8_t* frame, std::size_t length) {
    Fragment f;
    if (ParseFragment(frame, length, f) != FrameVerdict::Accepted) return;
    if (!(f.flags & EnvelopeFlag::Reply) || f.source != kAgent) return;
    std::lock_guard<std::mutex> lock(mutex);
    lastAnswer = f.transactionId;
    answered.notify_all();
  });
  flooderLink->Start([](const uint8_t*, std::size_t) {});

  std::thread flooder([&] {
    if (flood == Flood::None) return;
    uint32_t id = 1;
    const auto discover = Request(kDiscover, kBroadcastMac);
    auto restart = Request(kRestart, kAgent);
    std::memcpy(restart.data() + 24, "Administrator", 13);
    while (running) {
      Mac source = kFlooder;
      if (flood == Flood::InventedSources) {
        source[3] = static_cast<uint8_t>(id >> 16);
        source[4] = static_cast<uint8_t>(id >> 8);
        source[5] = static_cast<uint8_t>(id);
      }
      const bool logon = (id & 1) != 0;
      const auto& message = logon ? restart : discover;
      for (const auto& frame : BuildFrames(logon ? kAgent : kBroadcastMac, source, 0, id,
                                           message.data(), message.size()))
        flooderLink->Send(frame.data(), frame.size());
      ++id;
      ++floodFrames;
      if ((id & 63) == 0) std::this_thread::yield();
    }
  });

  // The console: polls back to back, and a Refresh every 500 ms; 300 ms to answer each.
  Figures figures;
  uint64_t polls = 0;
  uint32_t id = 1;
  const auto start = Clock::now();
  auto nextRefresh = start;
  while (Clock::now() - start < duration) {
    const bool refresh = Clock::now() >= nextRefresh;
    if (refresh) {
      nextRefresh += 500ms;
      ++figures.refreshesAsked;
    }
    const auto message = Request(refresh ? kRefresh : kPoll, kAgent);
    for (const auto& frame : BuildFrames(kAgent, kConsole, 0, id, message.data(), message.size()))
      consoleLink->Send(frame.data(), frame.size());
    std::unique_lock<std::mutex> lock(mutex);
    const bool ok = answered.wait_for(lock, 300ms, [&] { return lastAnswer == id; });
    lock.unlock();
    if (ok && refresh) ++figures.refreshesServed;
    if (ok && !refresh) ++polls;
    ++id;
  }
  const double seconds = std::chrono::duration<double>(Clock::now() - start).count();
  running = false;
  flooder.join();
  core.Close();
  agent.join();
  consoleLink->Stop();
  flooderLink->Stop();

  figures.floodPerSecond = static_cast<double>(floodFrames) / seconds;
  figures.pollsPerSecond = static_cast<double>(polls) / seconds;
  figures.collectionsPerSecond = static_cast<double>(collections) / seconds;
  figures.logonsPerSecond = static_cast<double>(logons) / seconds;
  return figures;
}

}  // namespace

int main(int argc, char** argv) {
  const long perCase = argc > 1 ? std::strtol(argv[1], nullptr, 10) : 5;
  const std::chrono::seconds length(perCase > 0 ? perCase : 5);
  std::printf("%-7s %-17s %12s %10s %10s %13s %10s\n", "guard", "flood", "flood fr/s", "polls/s",
              "refreshes", "collections/s", "logons/s");
  const char* names[] = {"none", "one source", "invented sources"};
  for (bool guarded : {false, true}) {
    for (Flood flood : {Flood::None, Flood::OneSource, Flood::InventedSources}) {
      const Figures f = RunCase(guarded, flood, length);
      std::printf("%-7s %-17s %12.0f %10.1f %5d/%-4d %13.1f %10.1f\n", guarded ? "on" : "off",
                  names[static_cast<int>(flood)], f.floodPerSecond, f.pollsPerSecond,
                  f.refreshesServed, f.refreshesAsked, f.collectionsPerSecond, f.logonsPerSecond);
      std::fflush(stdout);
    }
  }
  return 0;
}
