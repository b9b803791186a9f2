// A minimal agent over TaviServer.dll for the two-namespace test: answers every request the
// way the real request loop does (repeated-header check, header copied, frameKind 2) and
// prints one line per request it executes, so the test can count executions.
// Usage: tvt_agent SECONDS [NICCOUNT [restart]]
// With "restart", a second thread calls TVRestart every 250 ms, as device changes would.
// clang-format off
#include <winsock2.h>
#include <windows.h>
#include <iphlpapi.h>
// clang-format on

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <array>
#include <atomic>
#include <thread>
#include <vector>

#include "TaviServer.h"
#include "protocol/byte_order.h"

namespace {

std::vector<std::array<uint8_t, 6>> AdapterMacs() {
  std::vector<std::array<uint8_t, 6>> macs;
  ULONG size = 0;
  GetAdaptersInfo(nullptr, &size);
  std::vector<uint8_t> buffer(size + 1);
  auto* info = reinterpret_cast<IP_ADAPTER_INFO*>(buffer.data());
  if (size == 0 || GetAdaptersInfo(info, &size) != ERROR_SUCCESS) return macs;
  for (auto* a = info; a; a = a->Next) {
    if (a->Type == MIB_IF_TYPE_LOOPBACK) continue;
    std::array<uint8_t, 6> mac{};
    std::memcpy(mac.data(), a->Address, 6);
    macs.push_back(mac);
  }
  return macs;
}

// Collected once: the test times the transport, not the IP helper.
std::vector<std::array<uint8_t, 6>> g_macs;
char g_name[36];
char g_model[16];

std::size_t FillRecord(uint8_t* reply, int nicCount) {
  uint8_t* record = reply + 27;
  std::memcpy(record, g_name, 36);
  std::memcpy(record + 36, g_model, 16);
  StoreU32(record + 104, static_cast<uint32_t>(std::time(nullptr)));
  record[108] = 1;  // osValid
  record[109] = 1;  // Windows
  record[124] = static_cast<uint8_t>(nicCount);
  const auto& macs = g_macs;
  for (int i = 0; i < nicCount; ++i) {
    uint8_t* nic = record + 128 + 44 * i;
    if (static_cast<std::size_t>(i) < macs.size()) std::memcpy(nic, macs[i].data(), 6);
    std::snprintf(reinterpret_cast<char*>(nic + 8), 20, "NIC%d", i + 1);
    StoreU32(nic + 32, 0xC6336400u + static_cast<uint32_t>(i + 10));  // 198.51.100.x
    StoreU32(nic + 36, 0xFFFFFF00u);
  }
  return 27 + 128 + 44 * static_cast<std::size_t>(nicCount);
}

}  // namespace

int main(int argc, char** argv) {
  const int seconds = argc > 1 ? std::atoi(argv[1]) : 30;
  int nicCount = argc > 2 ? std::atoi(argv[2]) : 0;
  g_macs = AdapterMacs();
  DWORD nameLength = sizeof g_name;
  GetComputerNameA(g_name, &nameLength);
  if (nicCount <= 0) nicCount = static_cast<int>(g_macs.size());
  if (nicCount > 40) nicCount = 40;
  setvbuf(stdout, nullptr, _IONBF, 0);
  if (TVInitialize() != 0) {
    std::printf("INIT FAILED\n");
    return 1;
  }
  TVSetMagicNumber(static_cast<uint32_t>(std::time(nullptr)));
  char scratch[16];
  if (!TVGetOrvaneInfo(reinterpret_cast<unsigned char*>(scratch), 16, g_model, 16))
    std::memcpy(g_model, "Unknown", 8);
  std::printf("READY connected=%d,%d model=%s\n", TVIsAdapterConnected(0), TVIsAdapterConnected(1),
              g_model);
  std::atomic<bool> running{true};
  std::thread restarter;
  if (argc > 3 && std::strcmp(argv[3], "restart") == 0)
    restarter = std::thread([&] {
      int restarts = 0;
      while (running) {
        Sleep(250);
        TVRestart();
        if (++restarts % 4 == 0) std::printf("RESTARTED %d\n", restarts);
      }
    });
  std::vector<uint8_t> request(2048), reply(2048);
  uint8_t last[24] = {};
  int link = TVIsAdapterConnected(0);
  const DWORD end = GetTickCount() + static_cast<DWORD>(seconds) * 1000u;
  while (static_cast<int32_t>(end - GetTickCount()) > 0) {
    std::fill(request.begin(), request.end(), 0);
    std::fill(reply.begin(), reply.end(), 0);
    uint32_t length = 2048;
    const int received = TVRecv(request.data(), &length);
    if (TVIsAdapterConnected(0) != link) {
      link = TVIsAdapterConnected(0);
      std::printf("LINK %d\n", link);
    }
    if (!received) continue;
    if (std::memcmp(request.data(), last, 24) == 0) {
      std::printf("REPEAT\n");
      continue;
    }
    const uint32_t code = LoadU32(request.data() + 12);
    if (code < 1 || code > 9 || code == 8) continue;
    std::memcpy(reply.data(), request.data(), 24);
    StoreU16(reply.data() + 10, 2);
    if (code == 1 || code == 2 || code == 9) FillRecord(reply.data(), nicCount);
    std::memcpy(reply.data(), request.data(), 4);
    std::memcpy(last, request.data(), 24);
    std::printf("EXEC code=%u id=%08x len=%u\n", code, LoadU32(request.data() + 16), length);
    if (!TVSend(reply.data())) std::printf("SEND FAILED\n");
  }
  running = false;
  if (restarter.joinable()) restarter.join();
  TVCleanup();
  std::printf("DONE\n");
  return 0;
}
