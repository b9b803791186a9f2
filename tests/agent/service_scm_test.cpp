// The agent program registered with the prefix's control manager: started, stopped while
// its request thread waits in TVRecv, and run from a command prompt. Also serves as the
// management product's "rdsvc" service for the management fields. Runs in its own prefix.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <string>
#include <thread>

#include "agent/host_info.h"
#include "fake_system.h"

namespace {

// TaviAgentFake.exe beside this test program.
std::string AgentProgram() {
  char path[MAX_PATH] = {};
  GetModuleFileNameA(nullptr, path, MAX_PATH - 1);
  std::string text(path);
  return text.substr(0, text.find_last_of('\\') + 1) + "TaviAgentFake.exe";
}

class ScmTest : public ::testing::Test {
 protected:
  void SetUp() override {
    manager_ = OpenSCManagerA(nullptr, nullptr, SC_MANAGER_ALL_ACCESS);
    ASSERT_NE(manager_, nullptr);
  }
  void TearDown() override {
    for (SC_HANDLE service : services_) {
      SERVICE_STATUS status;
      ControlService(service, SERVICE_CONTROL_STOP, &status);
      WaitForState(service, SERVICE_STOPPED, 10000);
      DeleteService(service);
      CloseServiceHandle(service);
    }
    DeleteKeyTree("SOFTWARE\\Orvane");
    if (manager_) CloseServiceHandle(manager_);
  }
  SC_HANDLE Create(const char* name) {
    const std::string command = "\"" + AgentProgram() + "\"";
    SC_HANDLE service = CreateServiceA(manager_, name, name, SERVICE_ALL_ACCESS,
                                       SERVICE_WIN32_OWN_PROCESS, SERVICE_DEMAND_START,
                                       SERVICE_ERROR_NORMAL, command.c_str(), nullptr, nullptr,
                                       nullptr, nullptr, nullptr);
    EXPECT_NE(service, nullptr) << GetLastError();
    if (service) services_.push_back(service);
    return service;
  }
  static SERVICE_STATUS WaitForState(SC_HANDLE service, DWORD state, int ms) {
    SERVICE_STATUS status = {};
    const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
    while (QueryServiceStatus(service, &status) && status.dwCurrentState != state &&
           std::chrono::steady_clock::now() < end)
      std::this_thread::sleep_for(std::chrono::milliseconds(20));
    return status;
  }
  SC_HANDLE manager_ = nullptr;
  std::vector<SC_HANDLE> services_;
};

TEST_F(ScmTest, StartsRunningAndStopsWithinTenSecondsWhileWaitingInRecv) {
  SC_HANDLE service = Create("TaviAgentScmTest");
  ASSERT_NE(service, nullptr);
  ASSERT_TRUE(StartServiceA(service, 0, nullptr)) << GetLastError();
  SERVICE_STATUS status = WaitForState(service, SERVICE_RUNNING, 10000);
  ASSERT_EQ(status.dwCurrentState, static_cast<DWORD>(SERVICE_RUNNING));
  EXPECT_EQ(status.dwServiceType, 0x10u);
  EXPECT_EQ(status.dwControlsAccepted, static_cast<DWORD>(SERVICE_ACCEPT_STOP | SERVICE_ACCEPT_SHUTDOWN));

  std::this_thread::sleep_for(std::chrono::milliseconds(300));  // inside TVRecv by now
  // Under Wine the device-watch thread cannot unregister its notification while the control
  // handler runs, so the stop takes the 5 s the handler waits for that thread.
  const auto start = std::chrono::steady_clock::now();
  ASSERT_TRUE(ControlService(service, SERVICE_CONTROL_STOP, &status)) << GetLastError();
  status = WaitForState(service, SERVICE_STOPPED, 10000);
  EXPECT_EQ(status.dwCurrentState, static_cast<DWORD>(SERVICE_STOPPED));
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(10));
  EXPECT_EQ(status.dwWin32ExitCode, 0u);
}

TEST_F(ScmTest, RunningManagementServiceGivesRidoFields) {
  SC_HANDLE rdsvc = Create("rdsvc");
  ASSERT_NE(rdsvc, nullptr);
  HostRecord host;
  CollectManagementInfo(host);
  EXPECT_EQ(host.mgmtAgentType, 0);  // installed but stopped

  ASSERT_TRUE(StartServiceA(rdsvc, 0, nullptr)) << GetLastError();
  ASSERT_EQ(WaitForState(rdsvc, SERVICE_RUNNING, 10000).dwCurrentState,
            static_cast<DWORD>(SERVICE_RUNNING));
  CollectManagementInfo(host);
  EXPECT_EQ(host.mgmtAgentType, 1);
  EXPECT_EQ(host.mgmtPort, 2623);
  EXPECT_EQ(host.mgmtLaunchString.str(), "http://%A:%P/");

  CreateKey("SOFTWARE\\Orvane\\RIDO");
  SetDwordValue("SOFTWARE\\Orvane\\RIDO", "Port", 0);
  EXPECT_EQ(QueryRidoPort(), 2623);
  SetDwordValue("SOFTWARE\\Orvane\\RIDO", "Port", 8443);
  EXPECT_EQ(QueryRidoPort(), 8443);

  SERVICE_STATUS status;
  ControlService(rdsvc, SERVICE_CONTROL_STOP, &status);
  WaitForState(rdsvc, SERVICE_STOPPED, 10000);
  EXPECT_EQ(QueryRidoPort(), 0);
}

TEST(CommandPrompt, PrintsTwoLinesAndExitsWithTheDispatcherError) {
  SECURITY_ATTRIBUTES inherit = {sizeof inherit, nullptr, TRUE};
  HANDLE readEnd = nullptr, writeEnd = nullptr;
  ASSERT_TRUE(CreatePipe(&readEnd, &writeEnd, &inherit, 0));
  SetHandleInformation(readEnd, HANDLE_FLAG_INHERIT, 0);
  STARTUPINFOA startup = {};
  startup.cb = sizeof startup;
  startup.dwFlags = STARTF_USESTDHANDLES;
  startup.hStdOutput = writeEnd;
  startup.hStdError = writeEnd;
  PROCESS_INFORMATION process = {};
  std::string command = "\"" + AgentProgram() + "\"";
  ASSERT_TRUE(CreateProcessA(nullptr, &command[0], nullptr, nullptr, TRUE, 0, nullptr, nullptr,
                             &startup, &process));
  CloseHandle(writeEnd);
  // Wine's dispatcher gives up after about 10 s.
  ASSERT_EQ(WaitForSingleObject(process.hProcess, 30000), WAIT_OBJECT_0);
  DWORD exitCode = 0;
  GetExitCodeProcess(process.hProcess, &exitCode);
  std::string output;
  char chunk[256];
  DWORD read = 0;
  while (ReadFile(readEnd, chunk, sizeof chunk, &read, nullptr) && read > 0)
    output.append(chunk, read);
  CloseHandle(readEnd);
  CloseHandle(process.hThread);
  CloseHandle(process.hProcess);

  // Standard output is in text mode: each line ends in CR LF on the way out.
  output.erase(std::remove(output.begin(), output.end(), '\r'), output.end());
  EXPECT_EQ(exitCode, static_cast<DWORD>(ERROR_FAILED_SERVICE_CONTROLLER_CONNECT));
  EXPECT_EQ(output, "In StartServiceCtrlDispatcher\nError number: " + std::to_string(exitCode) + "\n");
}

}  // namespace
