// The service shell run in-process: the control manager's side (handler registration and
// status reports) through the doubles, the worker threads and the transport for real.
#include <gtest/gtest.h>

#include <chrono>
#include <functional>
#include <mutex>
#include <thread>
#include <vector>

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

  SendMessageA(watchWindow, WM_DEVICECHANGE, 0x0007 /* DBT_DEVNODES_CHANGED */, 0);
  SendMessageA(watchWindow, WM_DEVICECHANGE, 0x8000 /* DBT_DEVICEARRIVAL */, 0);
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
