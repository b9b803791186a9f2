// The service shell: control-manager entry, start-up reports, control handler and the
// stop sequence that ends the device-watch and request threads.
#pragma once

#include <windows.h>

struct ThreadRecord {
  HANDLE deviceWatchThread;
  HANDLE requestThread;
};

int AgentMain();
void WINAPI AgentServiceMain(DWORD argc, LPSTR* argv);
DWORD WINAPI AgentControlHandler(DWORD control, DWORD eventType, LPVOID eventData,
                                 LPVOID context);
BOOL ReportServiceStatus(DWORD state, DWORD win32ExitCode, DWORD serviceExitCode,
                         DWORD checkPoint, DWORD waitHint);
int StartWorkerThreads(ThreadRecord* threadRecord);
void StopAgent(ThreadRecord* threadRecord);
[[noreturn]] void ExitWithError(const char* text, DWORD number);

// Shared with the device-watch thread.
extern HANDLE deviceMutex;
extern HWND watchWindow;
