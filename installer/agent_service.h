// Registration and removal of the agent service through the service control manager.
#pragma once

#include <windows.h>

constexpr const wchar_t* kAgentServiceName = L"TaviAgent";
constexpr const wchar_t* kAgentDisplayName = L"Orvane Network Utility Agent 1.5";
constexpr const wchar_t* kSecondServiceName = L"VHRT";

// Creates the agent service for binaryPath and starts it. A service that exists already
// is left as it is and not started.
void InstallAgentService(const wchar_t* binaryPath);

// Stops the agent service and the second service where they exist, printing
// "<name> Stopped!" for each one that stopped, then deletes them.
void RemoveServices();

