// The agent's event source in the Application log: Event Viewer reads the texts of its
// events from the message table in TaviAgent.exe.
#pragma once

#include <windows.h>

constexpr const wchar_t* kEventSourceKey =
    L"SYSTEM\\CurrentControlSet\\Services\\EventLog\\Application\\TaviAgent";
// Error, warning and information events.
constexpr DWORD kEventTypesSupported = EVENTLOG_ERROR_TYPE | EVENTLOG_WARNING_TYPE |
                                       EVENTLOG_INFORMATION_TYPE;

// Writes EventMessageFile (REG_EXPAND_SZ, agentProgram as given) and TypesSupported.
// Returns ERROR_SUCCESS or the registry's error.
LONG RegisterAgentEventSource(const wchar_t* agentProgram);

// Removes the source's key; a missing key is no error.
LONG RemoveAgentEventSource();
