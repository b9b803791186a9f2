// The service started without the capture library: it reports RUNNING, tells once what is
// missing and where it looked, keeps trying, and answers as soon as the library is there.
// Wine's wpcap.dll is made absent and present again by this program's DLL override
// (HKCU\Software\Wine\AppDefaults\<exe>\DllOverrides "wpcap": "" disables it); Wine reads
// the value at every load, once the key exists when the process starts, so a first run
// creates the key and runs the tests in a child. The transport is the fake one, which
// (like TaviServer.dll) does not start while the library cannot be loaded.
#include <gtest/gtest.h>

#include <windows.h>
#include <dbt.h>

#include <algorithm>
#include <cctype>
#include <chrono>
#include <cstring>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "agent/audit_text.h"
#include "agent/device_watch.h"
#include "agent/request_loop.h"
#include "agent/service.h"
#include "agent/transport_start.h"
#include "fake_system.h"
#include "fake_transport.h"
#include "override_key.h"
#include "transport/core/identity.h"
#include "transport/core/pcap_api.h"

namespace {

const char kOverrideKey[] = "Software\\Wine\\AppDefaults\\agent_capture_wait_test.exe\\DllOverrides";

void SetCaptureDisabled(bool disabled) {
  HKEY key = nullptr;
  ASSERT_EQ(RegCreateKeyExA(HKEY_CURRENT_USER, kOverrideKey, 0, nullptr, 0, KEY_ALL_ACCESS,
                            nullptr, &key, nullptr),
            ERROR_SUCCESS);
  if (disabled)
    RegSetValueExA(key, "wpcap", 0, REG_SZ, reinterpret_cast<const BYTE*>(""), 1);
  else
    RegDeleteValueA(key, "wpcap");
  RegCloseKey(key);
}

std::mutex eventLock;
std::vector<AgentEvent> recorded;

void Record(const AgentEvent& event) {
  std::lock_guard<std::mutex> guard(eventLock);
  recorded.push_back(event);
}

std::vector<AgentEvent> EventsWithId(uint32_t id) {
  std::lock_guard<std::mutex> guard(eventLock);
  std::vector<AgentEvent> out;
  for (const AgentEvent& event : recorded)
    if (event.id == id) out.push_back(event);
  return out;
}

bool WaitFor(const std::function<bool()>& condition, int ms = 20000) {
  const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
  while (!condition()) {
    if (std::chrono::steady_clock::now() > end) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  return true;
}

std::string Lower(std::string s) {
  std::transform(s.begin(), s.end(), s.begin(), [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  return s;
}

std::string SystemDirectory() {
  char dir[MAX_PATH] = {};
  GetSystemDirectoryA(dir, MAX_PATH);
  return dir;
}

std::mutex statusLock;
std::vector<DWORD> states;
LPHANDLER_FUNCTION_EX handler = nullptr;
LPVOID handlerContext = nullptr;

SERVICE_STATUS_HANDLE WINAPI FakeRegister(LPCSTR, LPHANDLER_FUNCTION_EX function, LPVOID context) {
  handler = function;
  handlerContext = context;
  return reinterpret_cast<SERVICE_STATUS_HANDLE>(0x5A5A);
}

BOOL WINAPI FakeSetStatus(SERVICE_STATUS_HANDLE, LPSERVICE_STATUS status) {
  std::lock_guard<std::mutex> guard(statusLock);
  states.push_back(status->dwCurrentState);
  return TRUE;
}

DWORD LastState() {
  std::lock_guard<std::mutex> guard(statusLock);
  return states.empty() ? 0 : states.back();
}

// What the system hands the watch window when a network interface arrives.
struct InterfaceArrival {
  DEV_BROADCAST_DEVICEINTERFACE_A header;
  char name[64];
};

class CaptureWaitTest : public AgentTest {
 protected:
  void SetUp() override {
    AgentTest::SetUp();
    FakeTransportReset();
    FakeTransportRequireCapture(1);
    agentSystem.registerServiceCtrlHandlerExA = FakeRegister;
    agentSystem.setServiceStatus = FakeSetStatus;
    recorded.clear();
    states.clear();
    agentEventSink = Record;
  }
  void TearDown() override {
    agentEventSink = nullptr;
    SetCaptureDisabled(false);
    AgentTest::TearDown();
  }
};

TEST_F(CaptureWaitTest, RunsWithoutTheLibraryTellsOnceAndAnswersWhenItAppears) {
  SetCaptureDisabled(true);
  ASSERT_EQ(tavi::LoadPcap(), nullptr) << "the override did not hide Wine's wpcap.dll";
  transportRetryMs = 50;  // many attempts while the library is missing

  std::thread service([] { AgentServiceMain(0, nullptr); });
  ASSERT_TRUE(WaitFor([] { return LastState() == SERVICE_RUNNING; }));
  ASSERT_TRUE(WaitFor([] { return !EventsWithId(EventId::CaptureMissing).empty(); }));
  // Several attempts later: still RUNNING, still one event, no request thread gone.
  ASSERT_TRUE(WaitFor([] {
    char events[4096];
    FakeTransportEvents(events, sizeof events);
    std::string text(events);
    std::size_t n = 0;
    for (std::size_t at = text.find("init"); at != std::string::npos; at = text.find("init", at + 1)) ++n;
    return n >= 5;
  }));
  EXPECT_EQ(LastState(), static_cast<DWORD>(SERVICE_RUNNING));
  const std::vector<AgentEvent> missing = EventsWithId(EventId::CaptureMissing);
  ASSERT_EQ(missing.size(), 1u);
  EXPECT_EQ(missing[0].level, EventLevel::Error);
  const std::string system = SystemDirectory();
  ASSERT_EQ(missing[0].strings.size(), 2u);
  EXPECT_EQ(missing[0].strings[0], system + "\\Npcap\\wpcap.dll\r\n" + system + "\\wpcap.dll");
  EXPECT_TRUE(EventsWithId(EventId::CaptureLoaded).empty());
  EXPECT_EQ(FakeTransportSentCount(), 0);

  // The library comes (Npcap installed); the long pause stands for the bounded interval,
  // and the network interface Npcap's installation brings wakes the thread at once.
  transportRetryMs = 60 * 60 * 1000;
  Sleep(100);  // the thread is in its 50 ms pause or its next attempt, then in the long one
  SetCaptureDisabled(false);
  uint8_t poll[kShortRequestLength] = {};
  StoreU32(poll + FrameOffset::RequestCode, Request::Poll);
  FakeTransportQueueFrame(poll, sizeof poll);
  ASSERT_TRUE(WaitFor([] { return watchWindow != nullptr; }));
  InterfaceArrival arrival;
  std::memset(&arrival, 0, sizeof arrival);
  arrival.header.dbcc_size = sizeof arrival.header;
  arrival.header.dbcc_devicetype = DBT_DEVTYP_DEVICEINTERFACE;
  arrival.header.dbcc_classguid = tavi::kNetInterfaceClass;
  SendMessageA(watchWindow, WM_DEVICECHANGE, DBT_DEVICEARRIVAL, reinterpret_cast<LPARAM>(&arrival));

  ASSERT_TRUE(WaitFor([] { return FakeTransportSentCount() == 1; })) << "no answer after the library came";
  const std::vector<AgentEvent> loaded = EventsWithId(EventId::CaptureLoaded);
  ASSERT_EQ(loaded.size(), 1u);
  ASSERT_EQ(loaded[0].strings.size(), 1u);
  EXPECT_EQ(Lower(loaded[0].strings[0]), Lower(system + "\\wpcap.dll"));  // Wine has no Npcap
  EXPECT_EQ(EventsWithId(EventId::CaptureMissing).size(), 1u);

  handler(SERVICE_CONTROL_STOP, 0, nullptr, handlerContext);
  service.join();
  transportRetryMs = kCaptureRetrySeconds * 1000;
  EXPECT_EQ(EventsWithId(EventId::ServiceStarted).size(), 1u);
  EXPECT_EQ(EventsWithId(EventId::ServiceStopped).size(), 1u);
  EXPECT_EQ(LastState(), static_cast<DWORD>(SERVICE_STOPPED));
}

TEST_F(CaptureWaitTest, AnotherTransportFailureIsToldApartFromAMissingLibrary) {
  SetCaptureDisabled(false);
  FakeTransportSetInitFailures(3);  // the library loads, the transport still fails
  transportRetryMs = 1;
  FakeTransportSetIdleHook([] { agentRunning = 0; });
  agentRunning = 1;
  RequestLoop(nullptr);
  transportRetryMs = kCaptureRetrySeconds * 1000;
  EXPECT_TRUE(EventsWithId(EventId::CaptureMissing).empty());
  const std::vector<AgentEvent> failed = EventsWithId(EventId::TransportFailed);
  ASSERT_EQ(failed.size(), 1u);
  EXPECT_EQ(failed[0].strings[0], "1");  // the fake's status
  EXPECT_EQ(EventsWithId(EventId::CaptureLoaded).size(), 1u);
}

TEST_F(CaptureWaitTest, AKeyMadeOrReplacedAtStartIsToldWithItsFingerprint) {
  const std::string parameter = "SOFTWARE\\Orvane\\Netvane Agent\\Identity";
  SetCaptureDisabled(false);
  uint8_t first[32], second[32];
  for (int i = 0; i < 32; ++i) {
    first[i] = static_cast<uint8_t>(i);
    second[i] = static_cast<uint8_t>(0xA0 + i);
  }
  auto start = [](const uint8_t* key) {
    FakeTransportReset();
    FakeTransportStoreKeyOnInit(key);
    FakeTransportSetIdleHook([] { agentRunning = 0; });
    agentRunning = 1;
    RequestLoop(nullptr);
  };
  DeleteValue(parameter, "IdentityPublicKey");
  start(first);  // no key before: made
  start(first);  // the same key: nothing to tell
  start(second);  // another key over a stored one: replaced
  // Found where an earlier version kept it and moved by the transport: the same identity.
  DeleteKeyTree(parameter);
  const char legacy[] = "SYSTEM\\CurrentControlSet\\Services\\TaviAgent\\Parameter";
  ASSERT_EQ(RegSetKeyValueA(HKEY_LOCAL_MACHINE, legacy, "IdentityPublicKey", REG_BINARY, second, 32),
            ERROR_SUCCESS);
  start(second);
  DeleteValue(legacy, "IdentityPublicKey");
  DeleteKeyTree(parameter);
  const std::vector<AgentEvent> created = EventsWithId(EventId::IdentityCreated);
  const std::vector<AgentEvent> replaced = EventsWithId(EventId::IdentityReplaced);
  ASSERT_EQ(created.size(), 1u);
  ASSERT_EQ(replaced.size(), 1u);
  EXPECT_EQ(created[0].strings, std::vector<std::string>{tavi::FormatFingerprint(first)});
  EXPECT_EQ(replaced[0].strings, std::vector<std::string>{tavi::FormatFingerprint(second)});
  EXPECT_EQ(replaced[0].level, EventLevel::Warning);
}

}  // namespace

int main(int argc, char** argv) {
  const int rerun = RerunWithOverrideKey(kOverrideKey);
  if (rerun >= 0) return rerun;
  ::testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
