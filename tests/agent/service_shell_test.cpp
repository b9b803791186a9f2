// The service shell run in-process: the control manager's side (handler registration and
// status reports) through the doubles, the worker threads and the transport for real.
#include <gtest/gtest.h>

#include <chrono>
#include <functional>
#include <mutex>
#include <thread>
#include <vector>

#include <windows.h>
#include <dbt.h>

#include <cstddef>
#include <cstring>

#include "agent/device_watch.h"
#include "agent/request_loop.h"
#include "agent/service.h"
#include "fake_system.h"
#include "fake_transport.h"

namespace {

SERVICE_STATUS_HANDLE const kFakeHandle = reinterpret_cast<SERVICE_STATUS_HANDLE>(0x5A5A);

std::mutex reportLock;
std::vector<SERVICE_STATUS> reports;
LPHANDLER_FUNCTION_EX handler = nullptr;
LPVOID handlerContext = nullptr;
int failReportNumber = 0;  // 1-based report that fails; 0 none
bool refuseRegistration = false;

SERVICE_STATUS_HANDLE WINAPI FakeRegister(LPCSTR name, LPHANDLER_FUNCTION_EX function,
                                          LPVOID context) {
  EXPECT_STREQ(name, "NetvaneAgent");
  if (refuseRegistration) return nullptr;
  handler = function;
  handlerContext = context;
  return kFakeHandle;
}

SERVICE_STATUS_HANDLE lastHandle = nullptr;

BOOL WINAPI FakeSetStatus(SERVICE_STATUS_HANDLE handle, LPSERVICE_STATUS status) {
  std::lock_guard<std::mutex> guard(reportLock);
  lastHandle = handle;
  reports.push_back(*status);
  return static_cast<int>(reports.size()) != failReportNumber;
}

std::size_t ReportCount() {
  std::lock_guard<std::mutex> guard(reportLock);
  return reports.size();
}

const GUID kNetInterface = {
    0xCAC88484, 0x7515, 0x4C03, {0x82, 0xE6, 0x71, 0xA8, 0x7A, 0xBA, 0xC3, 0x61}};
const GUID kNetSetupClass = {
    0x4D36E972, 0xE325, 0x11CE, {0xBF, 0xC1, 0x08, 0x00, 0x2B, 0xE1, 0x03, 0x18}};
const GUID kVolumeInterface = {
    0x53F5630D, 0xB6BF, 0x11D0, {0x94, 0xF2, 0x00, 0xA0, 0xC9, 0x1E, 0xFB, 0x8B}};

// What the system hands a window that registered for an interface class.
struct InterfaceEvent {
  DEV_BROADCAST_DEVICEINTERFACE_A header;
  char name[64];
};
InterfaceEvent Interface(const GUID& classGuid) {
  InterfaceEvent event;
  std::memset(&event, 0, sizeof event);
  static const char kName[] = "\\\\?\\ROOT#NET#0001#{cac88484-7515-4c03-82e6-71a87abac361}";
  std::memcpy(reinterpret_cast<char*>(&event) + offsetof(DEV_BROADCAST_DEVICEINTERFACE_A, dbcc_name),
              kName, sizeof kName);
  event.header.dbcc_size = static_cast<DWORD>(sizeof event.header + sizeof kName - 1);
  event.header.dbcc_devicetype = DBT_DEVTYP_DEVICEINTERFACE;
  event.header.dbcc_classguid = classGuid;
  return event;
}
LPARAM Data(const InterfaceEvent& event) { return reinterpret_cast<LPARAM>(&event); }

TEST(DeviceChange, OnlyANetworkInterfaceComingOrGoingCounts) {
  const InterfaceEvent net = Interface(kNetInterface);
  EXPECT_TRUE(IsNetInterfaceChange(DBT_DEVICEARRIVAL, Data(net)));
  EXPECT_TRUE(IsNetInterfaceChange(DBT_DEVICEREMOVECOMPLETE, Data(net)));
  // Other events about the same interface, and every other device.
  EXPECT_FALSE(IsNetInterfaceChange(DBT_DEVNODES_CHANGED, 0));
  EXPECT_FALSE(IsNetInterfaceChange(DBT_DEVICEQUERYREMOVE, Data(net)));
  EXPECT_FALSE(IsNetInterfaceChange(DBT_DEVICEREMOVEPENDING, Data(net)));
  EXPECT_FALSE(IsNetInterfaceChange(DBT_DEVICEARRIVAL, 0));
  EXPECT_FALSE(IsNetInterfaceChange(DBT_DEVICEARRIVAL, Data(Interface(kVolumeInterface))));
  EXPECT_FALSE(IsNetInterfaceChange(DBT_DEVICEARRIVAL, Data(Interface(kNetSetupClass))));
  InterfaceEvent volume = net;
  volume.header.dbcc_devicetype = DBT_DEVTYP_VOLUME;
  EXPECT_FALSE(IsNetInterfaceChange(DBT_DEVICEARRIVAL, Data(volume)));
  InterfaceEvent truncated = net;
  truncated.header.dbcc_size = 12;  // a header only: no class to read
  EXPECT_FALSE(IsNetInterfaceChange(DBT_DEVICEARRIVAL, Data(truncated)));
}

bool WaitFor(const std::function<bool()>& condition, int ms = 5000) {
  const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
  while (!condition()) {
    if (std::chrono::steady_clock::now() > end) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  return true;
}

struct Expected {
  DWORD state, checkPoint, waitHint, controls;
};

void ExpectReports(const std::vector<Expected>& expected) {
  std::lock_guard<std::mutex> guard(reportLock);
  ASSERT_EQ(reports.size(), expected.size());
  for (std::size_t i = 0; i < expected.size(); ++i) {
    SCOPED_TRACE(i);
    EXPECT_EQ(reports[i].dwServiceType, 0x10u);
    EXPECT_EQ(reports[i].dwCurrentState, expected[i].state);
    EXPECT_EQ(reports[i].dwCheckPoint, expected[i].checkPoint);
    EXPECT_EQ(reports[i].dwWaitHint, expected[i].waitHint);
    EXPECT_EQ(reports[i].dwControlsAccepted, expected[i].controls);
    EXPECT_EQ(reports[i].dwWin32ExitCode, 0u);
    EXPECT_EQ(reports[i].dwServiceSpecificExitCode, 0u);
  }
}

class ServiceShellTest : public AgentTest {
 protected:
  void SetUp() override {
    AgentTest::SetUp();
    FakeTransportReset();
    agentSystem.registerServiceCtrlHandlerExA = FakeRegister;
    agentSystem.setServiceStatus = FakeSetStatus;
    reports.clear();
    handler = nullptr;
    failReportNumber = 0;
    refuseRegistration = false;
  }
};

TEST_F(ServiceShellTest, StartsRunsRestartsTransportOnDeviceChangeAndStops) {
  std::thread service([] { AgentServiceMain(0, nullptr); });
  ASSERT_TRUE(WaitFor([] { return ReportCount() >= 4; }));
  ASSERT_TRUE(WaitFor([] { return watchWindow != nullptr; }));
  EXPECT_EQ(agentRunning, 1);

  // A USB stick or a headset: every window hears DBT_DEVNODES_CHANGED, nothing restarts.
  const InterfaceEvent net = Interface(kNetInterface);
  const InterfaceEvent volume = Interface(kVolumeInterface);
  SendMessageA(watchWindow, WM_DEVICECHANGE, DBT_DEVNODES_CHANGED, 0);
  SendMessageA(watchWindow, WM_DEVICECHANGE, DBT_DEVICEARRIVAL, Data(volume));
  SendMessageA(watchWindow, WM_DEVICECHANGE, DBT_DEVICEARRIVAL, 0);
  EXPECT_EQ(FakeTransportRestartCalls(), 0);
  // An adapter plugged in and pulled out again.
  SendMessageA(watchWindow, WM_DEVICECHANGE, DBT_DEVICEARRIVAL, Data(net));
  SendMessageA(watchWindow, WM_DEVICECHANGE, DBT_DEVICEREMOVECOMPLETE, Data(net));
  EXPECT_EQ(FakeTransportRestartCalls(), 2);

  // INTERROGATE reports the current state once; SHUTDOWN changes nothing.
  handler(SERVICE_CONTROL_INTERROGATE, 0, nullptr, handlerContext);
  handler(SERVICE_CONTROL_SHUTDOWN, 0, nullptr, handlerContext);
  EXPECT_EQ(ReportCount(), 5u);

  // STOP while the request thread waits inside TVRecv.
  const auto start = std::chrono::steady_clock::now();
  handler(SERVICE_CONTROL_STOP, 0, nullptr, handlerContext);
  service.join();
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(10));
  EXPECT_EQ(agentRunning, 0);
  EXPECT_EQ(watchWindow, nullptr);
  EXPECT_EQ(lastHandle, kFakeHandle);

  ExpectReports({{SERVICE_START_PENDING, 1, 5000, 0},
                 {SERVICE_START_PENDING, 2, 1000, 0},
                 {SERVICE_START_PENDING, 3, 5000, 0},
                 {SERVICE_RUNNING, 0, 0, 5},
                 {SERVICE_RUNNING, 0, 0, 5},
                 {SERVICE_STOP_PENDING, 1, 1000, 5},
                 {SERVICE_STOPPED, 0, 0, 5}});
  char events[512];
  FakeTransportEvents(events, sizeof events);
  EXPECT_NE(std::string(events).find("restart,restart"), std::string::npos) << events;
  EXPECT_NE(std::string(events).find("cleanup"), std::string::npos) << events;
}

TEST_F(ServiceShellTest, FailedReportDuringStartEndsStoppedWithExitCodeZero) {
  failReportNumber = 2;
  AgentServiceMain(0, nullptr);
  ExpectReports({{SERVICE_START_PENDING, 1, 5000, 0},
                 {SERVICE_START_PENDING, 2, 1000, 0},
                 {SERVICE_STOPPED, 0, 0, 5}});
  char events[64];
  FakeTransportEvents(events, sizeof events);
  EXPECT_STREQ(events, "");  // no thread was started
}

TEST_F(ServiceShellTest, FailedRegistrationReportsNothing) {
  refuseRegistration = true;
  AgentServiceMain(0, nullptr);
  EXPECT_EQ(ReportCount(), 0u);
}

}  // namespace
