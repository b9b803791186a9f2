#include "installer/agent_service.h"

#include <cstdio>

namespace {

constexpr DWORD kStopPollMs = 500;
// A service that never leaves START_PENDING or STOP_PENDING must not hold the tool forever:
// after a minute it is deleted all the same (the control manager removes it once it stops).
constexpr int kStopPollLimit = 120;

wchar_t kAgentDescription[] =
    L"Answers the Netvane console on this computer's Ethernet segment and applies the network "
    L"settings, host name and passwords that an administrator of this computer sends.";

class ServiceHandle {
 public:
  explicit ServiceHandle(SC_HANDLE handle) : handle_(handle) {}
  ~ServiceHandle() {
    if (handle_ != nullptr) CloseServiceHandle(handle_);
  }
  ServiceHandle(const ServiceHandle&) = delete;
  ServiceHandle& operator=(const ServiceHandle&) = delete;
  SC_HANDLE get() const { return handle_; }

 private:
  SC_HANDLE handle_;
};

SC_HANDLE OpenManager() {
  return OpenSCManagerW(nullptr, SERVICES_ACTIVE_DATABASEW, SC_MANAGER_ALL_ACCESS);
}

void ReportStopped(const wchar_t* name) {
  std::printf("%S Stopped!\n", name);
  std::fflush(stdout);
}

// Returns true when the service accepted STOP or reports stopped. One that is stopping
// already is polled every pollMs, at most maxPolls times; one that is still starting (it
// accepts no control yet) is polled the same way and sent STOP once it runs.
bool StopService(SC_HANDLE service, DWORD pollMs, int maxPolls) {
  for (int poll = 0;; ++poll) {
    SERVICE_STATUS status = {};
    if (ControlService(service, SERVICE_CONTROL_STOP, &status)) return true;
    // The status that comes with a refusal is not filled for every reason (Wine leaves it
    // undefined for a service that is still starting): ask for it.
    status = SERVICE_STATUS{};
    if (!QueryServiceStatus(service, &status)) return false;
    for (;; ++poll) {
      if (status.dwCurrentState == SERVICE_STOPPED) return true;
      const bool pending = status.dwCurrentState == SERVICE_STOP_PENDING ||
                           status.dwCurrentState == SERVICE_START_PENDING;
      if (!pending || poll >= maxPolls) return false;
      Sleep(pollMs);
      status = SERVICE_STATUS{};
      if (!QueryServiceStatus(service, &status)) return false;
      if (status.dwCurrentState == SERVICE_RUNNING) break;  // started: STOP it now
    }
  }
}

// Description, and recovery by the control manager: restart 5 s after the first and second
// failure, a minute after later ones; the count starts again after a day without failure.
void SetRecovery(SC_HANDLE service) {
  SERVICE_DESCRIPTIONW description = {kAgentDescription};
  ChangeServiceConfig2W(service, SERVICE_CONFIG_DESCRIPTION, &description);
  SC_ACTION actions[kAgentRestartCount];
  SERVICE_FAILURE_ACTIONSW failureActions = AgentFailureActions(actions);
  ChangeServiceConfig2W(service, SERVICE_CONFIG_FAILURE_ACTIONS, &failureActions);
}

}  // namespace

SERVICE_FAILURE_ACTIONSW AgentFailureActions(SC_ACTION (&actions)[kAgentRestartCount]) {
  const DWORD delaysMs[kAgentRestartCount] = {5000, 5000, 60000};
  for (int i = 0; i < kAgentRestartCount; ++i) actions[i] = {SC_ACTION_RESTART, delaysMs[i]};
  SERVICE_FAILURE_ACTIONSW failureActions = {};
  failureActions.dwResetPeriod = 24 * 60 * 60;
  failureActions.cActions = kAgentRestartCount;
  failureActions.lpsaActions = actions;
  return failureActions;
}

const wchar_t* AgentDescription() { return kAgentDescription; }

void InstallAgentService(const wchar_t* binaryPath) {
  ServiceHandle manager(OpenManager());
  if (manager.get() == nullptr) return;
  ServiceHandle service(CreateServiceW(manager.get(), kAgentServiceName, kAgentDisplayName,
                                       SERVICE_ALL_ACCESS, SERVICE_WIN32_OWN_PROCESS,
                                       SERVICE_AUTO_START, SERVICE_ERROR_NORMAL, binaryPath,
                                       L"Extended base", nullptr, L"NDIS\0", nullptr, nullptr));
  if (service.get() == nullptr) return;
  SetRecovery(service.get());
  StartServiceW(service.get(), 0, nullptr);
}

void RemoveServices() {
  ServiceHandle manager(OpenManager());
  if (manager.get() == nullptr) return;
  const wchar_t* const names[] = {kAgentServiceName, kSecondServiceName};
  ServiceHandle agent(OpenServiceW(manager.get(), names[0], SERVICE_ALL_ACCESS));
  ServiceHandle second(OpenServiceW(manager.get(), names[1], SERVICE_ALL_ACCESS));
  const ServiceHandle* const services[] = {&agent, &second};

  for (int i = 0; i < 2; ++i) {
    SC_HANDLE service = services[i]->get();
    if (service != nullptr && StopService(service, kStopPollMs, kStopPollLimit))
      ReportStopped(names[i]);
  }
  for (const ServiceHandle* service : services) {
    if (service->get() != nullptr) DeleteService(service->get());
  }
}
