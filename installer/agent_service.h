// Registration and removal of the agent service through the service control manager.
#pragma once

#include <windows.h>

#include <cstddef>

constexpr const wchar_t* kAgentServiceName = L"TaviAgent";
constexpr const wchar_t* kAgentDisplayName = L"Orvane Network Utility Agent 1.5";
constexpr const wchar_t* kSecondServiceName = L"VHRT";

// The agent's recovery: restart after each of the first three failures of a day.
constexpr int kAgentRestartCount = 3;
SERVICE_FAILURE_ACTIONSW AgentFailureActions(SC_ACTION (&actions)[kAgentRestartCount]);
const wchar_t* AgentDescription();

enum class InstallOutcome { Started, Exists, ManagerFailed, CreateFailed, StartFailed };

struct InstallResult {
  InstallOutcome outcome;
  DWORD error;  // the failed call's GetLastError, ERROR_SUCCESS when started
};

// Creates the agent service for binaryPath (quoted by the caller), gives it its
// description and recovery actions, and starts it. A service that exists already is left
// as it is and not started.
InstallResult InstallAgentService(const wchar_t* binaryPath);

// For a service registered by someone else (the agent package): quotes its binary path when
// it holds a blank and is not quoted yet, and sets the description and recovery actions.
// Returns ERROR_SUCCESS or the failed call's error.
DWORD ConfigureAgentService();

// The binary path in double quotes when it is not quoted already; false when the result
// would not fit capacity characters. Pure, for the tests.
bool QuotedBinaryPath(const wchar_t* path, wchar_t* out, std::size_t capacity);

struct RemoveResult {
  bool complete;  // every service found was stopped and deleted
  DWORD error;    // the first failed call's error, ERROR_SUCCESS when complete
};

// Stops the agent service and the second service where they exist (waiting while one is
// still starting or already stopping), printing "<name> Stopped!" for each one that
// stopped, then deletes them.
RemoveResult RemoveServices();

