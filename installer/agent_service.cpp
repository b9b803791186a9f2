#include "installer/agent_service.h"

#include <cstdio>
#include <cwchar>
#include <vector>

#include "installer/text_buffer.h"

namespace {

constexpr DWORD kStopPollMs = 500;
// A service that never leaves START_PENDING or STOP_PENDING must not hold the tool forever:
// after a minute it is deleted all the same (the control manager removes it once it stops).
constexpr int kStopPollLimit = 120;

// A list of one name, ended by two NUL characters.
constexpr const wchar_t* kAgentDependencies = L"NDIS\0";

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
DWORD SetRecovery(SC_HANDLE service) {
  SERVICE_DESCRIPTIONW description = {kAgentDescription};
  if (!ChangeServiceConfig2W(service, SERVICE_CONFIG_DESCRIPTION, &description))
    return GetLastError();
  SC_ACTION actions[kAgentRestartCount];
  SERVICE_FAILURE_ACTIONSW failureActions = AgentFailureActions(actions);
  if (!ChangeServiceConfig2W(service, SERVICE_CONFIG_FAILURE_ACTIONS, &failureActions))
    return GetLastError();
  return ERROR_SUCCESS;
}

// Quotes the registered path where it needs quotes (Windows Installer's is not quoted).
DWORD QuoteBinaryPath(SC_HANDLE service) {
  DWORD needed = 0;
  QueryServiceConfigW(service, nullptr, 0, &needed);
  if (needed == 0) return GetLastError();
  std::vector<BYTE> buffer(needed);
  auto* config = reinterpret_cast<QUERY_SERVICE_CONFIGW*>(buffer.data());
  if (!QueryServiceConfigW(service, config, needed, &needed)) return GetLastError();
  const wchar_t* path = config->lpBinaryPathName;
  if (path == nullptr || path[0] == L'"' || std::wcschr(path, L' ') == nullptr)
    return ERROR_SUCCESS;
  TextBuffer quoted = {};
  if (!QuotedBinaryPath(path, quoted, kTextChars)) return ERROR_BUFFER_OVERFLOW;
  // The dependency is given again although nullptr means "no change": Wine's manager drops
  // DependOnService otherwise.
  if (!ChangeServiceConfigW(service, SERVICE_NO_CHANGE, SERVICE_NO_CHANGE, SERVICE_NO_CHANGE,
                            quoted, nullptr, nullptr, kAgentDependencies, nullptr, nullptr,
                            nullptr))
    return GetLastError();
  return ERROR_SUCCESS;
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

bool QuotedBinaryPath(const wchar_t* path, wchar_t* out, std::size_t capacity) {
  if (path[0] == L'"') return JoinText(out, capacity, {path});
  return JoinText(out, capacity, {L"\"", path, L"\""});
}

InstallResult InstallAgentService(const wchar_t* binaryPath) {
  ServiceHandle manager(OpenManager());
  if (manager.get() == nullptr) return {InstallOutcome::ManagerFailed, GetLastError()};
  ServiceHandle service(CreateServiceW(manager.get(), kAgentServiceName, kAgentDisplayName,
                                       SERVICE_ALL_ACCESS, SERVICE_WIN32_OWN_PROCESS,
                                       SERVICE_AUTO_START, SERVICE_ERROR_NORMAL, binaryPath,
                                       L"Extended base", nullptr, kAgentDependencies, nullptr,
                                       nullptr));
  if (service.get() == nullptr) {
    const DWORD error = GetLastError();
    return {error == ERROR_SERVICE_EXISTS ? InstallOutcome::Exists : InstallOutcome::CreateFailed,
            error};
  }
  // Description and recovery are not worth undoing the registration for; -configure sets
  // them again.
  SetRecovery(service.get());
  if (!StartServiceW(service.get(), 0, nullptr))
    return {InstallOutcome::StartFailed, GetLastError()};
  return {InstallOutcome::Started, ERROR_SUCCESS};
}

DWORD ConfigureAgentService() {
  ServiceHandle manager(OpenManager());
  if (manager.get() == nullptr) return GetLastError();
  ServiceHandle service(OpenServiceW(manager.get(), kAgentServiceName, SERVICE_ALL_ACCESS));
  if (service.get() == nullptr) return GetLastError();
  const DWORD quoted = QuoteBinaryPath(service.get());
  return quoted != ERROR_SUCCESS ? quoted : SetRecovery(service.get());
}

RemoveResult RemoveServices() {
  ServiceHandle manager(OpenManager());
  if (manager.get() == nullptr) return {false, GetLastError()};
  const wchar_t* const names[] = {kAgentServiceName, kSecondServiceName};
  RemoveResult result = {true, ERROR_SUCCESS};
  auto failed = [&result](DWORD error) {
    if (result.complete) result = {false, error};
  };
  // A service that exists but cannot be opened (access denied) is a failure; a missing one
  // is not.
  auto open = [&](const wchar_t* name) {
    SC_HANDLE handle = OpenServiceW(manager.get(), name, SERVICE_ALL_ACCESS);
    if (handle == nullptr && GetLastError() != ERROR_SERVICE_DOES_NOT_EXIST) failed(GetLastError());
    return handle;
  };
  ServiceHandle agent(open(names[0]));
  ServiceHandle second(open(names[1]));
  const ServiceHandle* const services[] = {&agent, &second};

  for (int i = 0; i < 2; ++i) {
    SC_HANDLE service = services[i]->get();
    if (service == nullptr) continue;
    if (StopService(service, kStopPollMs, kStopPollLimit))
      ReportStopped(names[i]);
    else
      failed(GetLastError());
  }
  for (const ServiceHandle* service : services) {
    if (service->get() != nullptr && !DeleteService(service->get())) {
      const DWORD error = GetLastError();
      if (error != ERROR_SERVICE_MARKED_FOR_DELETE) failed(error);
    }
  }
  return result;
}
