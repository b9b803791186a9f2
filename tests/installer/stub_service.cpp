// Stand-in agent for the installer tests: an own-process service that runs until STOP.
// When "stop-delay.txt" beside the program holds a number of milliseconds, it stays in
// STOP_PENDING that long before it reports SERVICE_STOPPED; "start-delay.txt" likewise keeps
// it in START_PENDING, when it accepts no control.
#include <windows.h>

#include <cstdio>
#include <cwchar>

namespace {

SERVICE_STATUS_HANDLE statusHandle = nullptr;
HANDLE stopEvent = nullptr;

void Report(DWORD state, DWORD checkPoint) {
  SERVICE_STATUS status = {};
  status.dwServiceType = SERVICE_WIN32_OWN_PROCESS;
  status.dwCurrentState = state;
  status.dwControlsAccepted = state == SERVICE_RUNNING ? SERVICE_ACCEPT_STOP : 0;
  status.dwCheckPoint = checkPoint;
  status.dwWaitHint = state == SERVICE_STOP_PENDING || state == SERVICE_START_PENDING ? 1000 : 0;
  SetServiceStatus(statusHandle, &status);
}

DWORD DelayMs(const wchar_t* fileName) {
  wchar_t path[MAX_PATH] = {};
  const DWORD length = GetModuleFileNameW(nullptr, path, MAX_PATH);
  if (length == 0 || length >= MAX_PATH) return 0;
  wchar_t* slash = std::wcsrchr(path, L'\\');
  if (slash == nullptr || slash + 1 + std::wcslen(fileName) >= path + MAX_PATH) return 0;
  std::wcscpy(slash + 1, fileName);
  FILE* file = _wfopen(path, L"r");
  if (file == nullptr) return 0;
  unsigned long delay = 0;
  if (std::fscanf(file, "%lu", &delay) != 1) delay = 0;
  std::fclose(file);
  return delay;
}

DWORD WINAPI Handler(DWORD control, DWORD, void*, void*) {
  if (control == SERVICE_CONTROL_STOP) {
    Report(SERVICE_STOP_PENDING, 1);
    SetEvent(stopEvent);
  }
  return NO_ERROR;
}

void WINAPI ServiceMain(DWORD, wchar_t**) {
  statusHandle = RegisterServiceCtrlHandlerExW(L"", Handler, nullptr);
  if (statusHandle == nullptr) return;
  stopEvent = CreateEventW(nullptr, TRUE, FALSE, nullptr);
  if (const DWORD startDelay = DelayMs(L"start-delay.txt")) {
    Report(SERVICE_START_PENDING, 1);
    Sleep(startDelay);
  }
  Report(SERVICE_RUNNING, 0);
  WaitForSingleObject(stopEvent, INFINITE);
  Sleep(DelayMs(L"stop-delay.txt"));
  Report(SERVICE_STOPPED, 0);
}

}  // namespace

int main() {
  wchar_t name[] = L"";
  SERVICE_TABLE_ENTRYW table[] = {{name, ServiceMain}, {nullptr, nullptr}};
  return StartServiceCtrlDispatcherW(table) ? 0 : static_cast<int>(GetLastError());
}
