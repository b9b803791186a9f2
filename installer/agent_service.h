// Registration and removal of the agent service through the service control manager.
#pragma once

#include <windows.h>

constexpr const wchar_t* kAgentServiceName = L"TaviAgent";
constexpr const wchar_t* kAgentDisplayName = L"Orvane Network Utility Agent 1.5";
constexpr const wchar_t* kSecondServiceName = L"VHRT";

// The agent's recovery: restart after each of the first three failures of a day.
constexpr int kAgentRestartCount = 3;
SERVICE_FAILURE_ACTIONSW AgentFailureActions(SC_ACTION (&actions)[kAgentRestartCount]);
const wchar_t* AgentDescription();

// Creates the agent service for binaryPath (quoted by the caller), gives it its
// description and recovery actions, and starts it. A service that exists already is left
// as it is and not started.
void InstallAgentService(const wchar_t* binaryPath);

// Stops the agent service and the second service where they exist (waiting while one is
// still starting or already stopping), printing "<name> Stopped!" for each one that
// stopped, then deletes them.
void RemoveServices();

