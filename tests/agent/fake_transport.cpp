#include "fake_transport.h"

#include <windows.h>

#include <array>
#include <cstring>
#include <deque>
#include <mutex>
#include <string>
#include <vector>

#include "TaviServer.h"
#include "transport/core/identity_location.h"
#include "transport/core/pcap_api.h"

namespace {

constexpr std::size_t kBufferLength = 2048;

std::mutex lock;
struct Queued {
  std::array<uint8_t, 6> sender;
  std::vector<uint8_t> frame;
};
constexpr std::array<uint8_t, 6> kDefaultSender{0x02, 0x00, 0x00, 0x00, 0xC0, 0x01};
std::deque<Queued> queue;
std::array<uint8_t, 6> lastSender{};
bool haveLastSender = false;
std::vector<std::vector<uint8_t>> sent;
std::string events;
std::string model = "TestBoard";
bool modelKnown = true;
bool connected[256];
int initFailures = 0;
int requireCapture = 0;
std::vector<uint8_t> keyOnInit;
int sendFailures = 0;
uint32_t magic = 0;
int magicCalls = 0;
int restartCalls = 0;
void (*idleHook)(void) = nullptr;
HANDLE cleanupEvent = CreateEventA(nullptr, TRUE, FALSE, nullptr);

void Note(const char* event) {
  if (!events.empty()) events += ',';
  events += event;
}

struct Defaults {
  Defaults() { std::memset(connected, 1, sizeof connected); }
} defaults;

}  // namespace

extern "C" {

void FakeTransportReset(void) {
  std::lock_guard<std::mutex> guard(lock);
  queue.clear();
  haveLastSender = false;
  sent.clear();
  events.clear();
  model = "TestBoard";
  modelKnown = true;
  std::memset(connected, 1, sizeof connected);
  initFailures = 0;
  requireCapture = 0;
  keyOnInit.clear();
  sendFailures = 0;
  magic = 0;
  magicCalls = 0;
  restartCalls = 0;
  idleHook = nullptr;
  ResetEvent(cleanupEvent);
}

void FakeTransportQueueFrame(const uint8_t* frame, uint32_t length) {
  std::lock_guard<std::mutex> guard(lock);
  queue.push_back({kDefaultSender, std::vector<uint8_t>(frame, frame + length)});
}

void FakeTransportQueueFrameFrom(const uint8_t* sender, const uint8_t* frame, uint32_t length) {
  std::lock_guard<std::mutex> guard(lock);
  Queued q{{}, std::vector<uint8_t>(frame, frame + length)};
  std::memcpy(q.sender.data(), sender, q.sender.size());
  queue.push_back(std::move(q));
}

void FakeTransportSetIdleHook(void (*hook)(void)) {
  std::lock_guard<std::mutex> guard(lock);
  idleHook = hook;
}

void FakeTransportStoreKeyOnInit(const uint8_t* publicKey) {
  std::lock_guard<std::mutex> guard(lock);
  keyOnInit.assign(publicKey, publicKey + 32);
}

void FakeTransportRequireCapture(int require) {
  std::lock_guard<std::mutex> guard(lock);
  requireCapture = require;
}

void FakeTransportSetInitFailures(int count) {
  std::lock_guard<std::mutex> guard(lock);
  initFailures = count;
}

void FakeTransportFailNextSends(int count) {
  std::lock_guard<std::mutex> guard(lock);
  sendFailures = count;
}

void FakeTransportSetConnected(uint8_t slot, int on) {
  std::lock_guard<std::mutex> guard(lock);
  connected[slot] = on != 0;
}

void FakeTransportSetModel(const char* name) {
  std::lock_guard<std::mutex> guard(lock);
  modelKnown = name != nullptr;
  model = name ? name : "";
}

int FakeTransportSentCount(void) {
  std::lock_guard<std::mutex> guard(lock);
  return static_cast<int>(sent.size());
}

void FakeTransportSent(int index, uint8_t* out) {
  std::lock_guard<std::mutex> guard(lock);
  std::memset(out, 0, kBufferLength);
  if (index >= 0 && static_cast<std::size_t>(index) < sent.size())
    std::memcpy(out, sent[index].data(), kBufferLength);
}

uint32_t FakeTransportMagic(void) {
  std::lock_guard<std::mutex> guard(lock);
  return magic;
}

int FakeTransportMagicCalls(void) {
  std::lock_guard<std::mutex> guard(lock);
  return magicCalls;
}

int FakeTransportRestartCalls(void) {
  std::lock_guard<std::mutex> guard(lock);
  return restartCalls;
}

void FakeTransportNote(const char* event) {
  std::lock_guard<std::mutex> guard(lock);
  Note(event);
}

void FakeTransportEvents(char* out, int capacity) {
  std::lock_guard<std::mutex> guard(lock);
  std::memset(out, 0, static_cast<std::size_t>(capacity));
  std::strncpy(out, events.c_str(), static_cast<std::size_t>(capacity) - 1);
}

// --- TaviServer ------------------------------------------------------------------------------

int TVInitialize(void) {
  std::lock_guard<std::mutex> guard(lock);
  Note("init");
  ResetEvent(cleanupEvent);
  if (initFailures > 0) {
    --initFailures;
    return 1;
  }
  if (requireCapture && tavi::LoadPcap() == nullptr) return 10001;  // as TaviServer does
  if (!keyOnInit.empty()) {
    HKEY key = nullptr;
    if (RegCreateKeyExW(HKEY_LOCAL_MACHINE, tavi::kAgentIdentityKey,
                        0, nullptr, 0, KEY_SET_VALUE, nullptr, &key, nullptr) == ERROR_SUCCESS) {
      RegSetValueExW(key, L"IdentityPublicKey", 0, REG_BINARY, keyOnInit.data(),
                     static_cast<DWORD>(keyOnInit.size()));
      RegCloseKey(key);
    }
  }
  return 0;
}

void TVCleanup(void) {
  std::lock_guard<std::mutex> guard(lock);
  Note("cleanup");
  SetEvent(cleanupEvent);
}

void TVSetMagicNumber(uint32_t value) {
  std::lock_guard<std::mutex> guard(lock);
  Note("magic");
  magic = value;
  ++magicCalls;
}

int TVRecv(unsigned char* buffer, uint32_t* length) {
  void (*hook)(void) = nullptr;
  {
    std::lock_guard<std::mutex> guard(lock);
    if (!queue.empty()) {
      Note("recv");
      std::vector<uint8_t> frame = std::move(queue.front().frame);
      lastSender = queue.front().sender;
      haveLastSender = true;
      queue.pop_front();
      const std::size_t n = frame.size() < *length ? frame.size() : *length;
      std::memcpy(buffer, frame.data(), n);
      *length = static_cast<uint32_t>(n);
      return 1;
    }
    hook = idleHook;
  }
  if (hook != nullptr) {
    hook();
    return 0;
  }
  WaitForSingleObject(cleanupEvent, 200);
  return 0;
}

int TVGetLastSender(unsigned char mac[6]) {
  std::lock_guard<std::mutex> guard(lock);
  if (!haveLastSender) return 0;
  std::memcpy(mac, lastSender.data(), lastSender.size());
  return 1;
}

void TVTrustLastSender(void) {}  // the hello share lives in the transport

int TVSend(unsigned char* buffer) {
  std::lock_guard<std::mutex> guard(lock);
  Note("send");
  sent.emplace_back(buffer, buffer + kBufferLength);
  if (sendFailures > 0) {
    --sendFailures;
    return 0;
  }
  return 1;
}

int TVIsAdapterConnected(uint8_t slot) {
  std::lock_guard<std::mutex> guard(lock);
  return connected[slot] ? 1 : 0;
}

int TVGetOrvaneInfo(unsigned char* scratch, int scratchLength, char* modelName,
                    int modelNameLength) {
  (void)scratch;
  (void)scratchLength;
  std::lock_guard<std::mutex> guard(lock);
  if (!modelKnown) return 0;
  std::strncpy(modelName, model.c_str(), static_cast<std::size_t>(modelNameLength));
  return 1;
}

void TVRestart(void) {
  std::lock_guard<std::mutex> guard(lock);
  Note("restart");
  ++restartCalls;
}

}  // extern "C"
