#include "installer/agent_service.h"

#include <cstdio>

namespace {

constexpr DWORD kStopPollMs = 500;
// A service that never leaves STOP_PENDING must not hold the tool forever: after a
// minute it is deleted all the same (the control manager removes it once it stops).
constexpr int kStopPollLimit = 120;

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
// already is polled every pollMs, at most maxPolls times.
bool StopService(SC_HANDLE service, DWORD pollMs, int maxPolls) {
  // Filled by the manager only for some refusals; an empty status means "go on".
  SERVICE_STATUS status = {};
  if (ControlService(service, SERVICE_CONTROL_STOP, &status)) return true;
  for (int poll = 0;; ++poll) {
    if (status.dwCurrentState == SERVICE_STOPPED) return true;
    if (status.dwCurrentState != SERVICE_STOP_PENDING || poll >= maxPolls) return false;
    Sleep(pollMs);
    status = SERVICE_STATUS{};
    if (!QueryServiceStatus(service, &status)) return false;
  }
}

}  // namespace

void InstallAgentService(const wchar_t* binaryPath) {
  ServiceHandle manager(OpenManager());
  if (manager.get() == nullptr) return;
  ServiceHandle service(CreateServiceW(manager.get(), kAgentServiceName, kAgentDisplayName,
                                       SERVICE_ALL_ACCESS, SERVICE_WIN32_OWN_PROCESS,
                                       SERVICE_AUTO_START, SERVICE_ERROR_NORMAL, binaryPath,
                                       L"Extended base", nullptr, L"NDIS\0", nullptr, nullptr));
  if (service.get() != nullptr) StartServiceW(service.get(), 0, nullptr);
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
