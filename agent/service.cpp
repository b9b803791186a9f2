#include "agent/service.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "TaviServer.h"
#include "agent/device_watch.h"
#include "agent/event_log.h"
#include "agent/request_loop.h"
#include "agent/system_calls.h"
#include "agent/transport_start.h"
#include "transport/platform/system_dlls.h"

HANDLE deviceMutex = nullptr;
HWND watchWindow = nullptr;

namespace {

char kServiceName[] = "NetvaneAgent";
constexpr DWORD kThreadWaitMs = 5000;

SERVICE_STATUS_HANDLE statusHandle = nullptr;
HANDLE stopEvent = nullptr;
// The last reported state, for INTERROGATE.
DWORD currentState = SERVICE_STOPPED;

}  // namespace

BOOL ReportServiceStatus(DWORD state, DWORD win32ExitCode, DWORD serviceExitCode,
                         DWORD checkPoint, DWORD waitHint) {
  SERVICE_STATUS status;
  std::memset(&status, 0, sizeof status);
  status.dwServiceType = SERVICE_WIN32_OWN_PROCESS;
  status.dwCurrentState = state;
  status.dwControlsAccepted =
      state == SERVICE_START_PENDING ? 0 : SERVICE_ACCEPT_STOP | SERVICE_ACCEPT_SHUTDOWN;
  status.dwWin32ExitCode = serviceExitCode != 0 ? ERROR_SERVICE_SPECIFIC_ERROR : win32ExitCode;
  status.dwServiceSpecificExitCode = serviceExitCode;
  status.dwCheckPoint = checkPoint;
  status.dwWaitHint = waitHint;
  currentState = state;
  return agentSystem.setServiceStatus(statusHandle, &status);
}

int StartWorkerThreads(ThreadRecord* threadRecord) {
  deviceMutex = CreateMutexA(nullptr, FALSE, nullptr);
  threadRecord->deviceWatchThread = CreateThread(nullptr, 0, DeviceWatchThread, nullptr, 0, nullptr);
  threadRecord->requestThread = CreateThread(nullptr, 0, RequestLoop, nullptr, 0, nullptr);
  if (threadRecord->deviceWatchThread == nullptr || threadRecord->requestThread == nullptr)
    return 0;
  agentRunning = 1;
  return 1;
}

void StopAgent(ThreadRecord* threadRecord) {
  agentRunning = 0;
  WakeTransportStart();  // a request thread waiting for the capture library sees the stop
  if (watchWindow != nullptr) SendMessageA(watchWindow, WM_DESTROY, 0, 0);
  TVCleanup();
  if (threadRecord->deviceWatchThread != nullptr)
    WaitForSingleObject(threadRecord->deviceWatchThread, kThreadWaitMs);
  if (threadRecord->requestThread != nullptr)
    WaitForSingleObject(threadRecord->requestThread, kThreadWaitMs);
  if (threadRecord->deviceWatchThread != nullptr) CloseHandle(threadRecord->deviceWatchThread);
  if (threadRecord->requestThread != nullptr) CloseHandle(threadRecord->requestThread);
  threadRecord->deviceWatchThread = nullptr;
  threadRecord->requestThread = nullptr;
  if (stopEvent != nullptr) SetEvent(stopEvent);
}

DWORD WINAPI AgentControlHandler(DWORD control, DWORD, LPVOID, LPVOID context) {
  ThreadRecord* threadRecord = static_cast<ThreadRecord*>(context);
  switch (control) {
    case SERVICE_CONTROL_STOP:
      ReportServiceStatus(SERVICE_STOP_PENDING, 0, 0, 1, 1000);
      StopAgent(threadRecord);
      return NO_ERROR;
    case SERVICE_CONTROL_SHUTDOWN:
      // The system ends the process; nothing to stop or report.
      return NO_ERROR;
    case SERVICE_CONTROL_INTERROGATE:
      ReportServiceStatus(currentState, 0, 0, 0, 0);
      return NO_ERROR;
    default:
      ReportServiceStatus(currentState, 0, 0, 0, 0);
      return ERROR_CALL_NOT_IMPLEMENTED;
  }
}

void WINAPI AgentServiceMain(DWORD, LPSTR*) {
  ThreadRecord threadRecord;
  threadRecord.deviceWatchThread = nullptr;
  threadRecord.requestThread = nullptr;

  statusHandle =
      agentSystem.registerServiceCtrlHandlerExA(kServiceName, AgentControlHandler, &threadRecord);
  if (statusHandle != nullptr && ReportServiceStatus(SERVICE_START_PENDING, 0, 0, 1, 5000)) {
    stopEvent = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    if (stopEvent != nullptr && ReportServiceStatus(SERVICE_START_PENDING, 0, 0, 2, 1000) &&
        ReportServiceStatus(SERVICE_START_PENDING, 0, 0, 3, 5000)) {
      agentRunning = 1;
      if (StartWorkerThreads(&threadRecord) && ReportServiceStatus(SERVICE_RUNNING, 0, 0, 0, 0)) {
        ReportAgentEvent(ServiceStartedEvent());
        WaitForSingleObject(stopEvent, INFINITE);
        ReportAgentEvent(ServiceStoppedEvent());
      }
    }
  }

  if (stopEvent != nullptr) {
    CloseHandle(stopEvent);
    stopEvent = nullptr;
  }
  if (statusHandle != nullptr) ReportServiceStatus(SERVICE_STOPPED, 0, 0, 0, 0);
}

void ExitWithError(const char* text, DWORD number) {
  std::printf("%s\n", text);
  std::printf("Error number: %lu\n", static_cast<unsigned long>(number));
  std::fflush(stdout);
  std::exit(static_cast<int>(number));
}

int AgentMain() {
  // Before anything loads a DLL by name: never from the program's folder, the current
  // directory or PATH (delay imports go through their own hook; see cmake/SystemDlls.cmake).
  tavi::RestrictDllSearchToSystem32();
  agentEventSink = EventLogSink;
  SERVICE_TABLE_ENTRYA table[2];
  std::memset(table, 0, sizeof table);
  table[0].lpServiceName = kServiceName;
  table[0].lpServiceProc = AgentServiceMain;
  const BOOL result = StartServiceCtrlDispatcherA(table);
  if (!result) ExitWithError("In StartServiceCtrlDispatcher", GetLastError());
  return result;
}
