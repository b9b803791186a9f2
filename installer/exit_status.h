// The tool's exit statuses, for deployment scripts; `TaviTool` without a command lists them.
#pragma once

#include <windows.h>

enum ToolExit : int {
  kExitOk = 0,
  kExitUsage = 1,             // no command, an unknown one, or -install without a directory
  kExitNotAdministrator = 2,  // the control manager or the registry refused access
  kExitBadDirectory = 3,      // TaviAgent.exe or TaviServer.dll missing, or the path too long
  kExitUnsafeDirectory = 4,   // users other than the administrators can write to it
  kExitServiceExists = 5,     // -install: the service exists already and was left unchanged
  kExitCreateFailed = 6,      // -install: creating the service failed for another reason
  kExitStartFailed = 7,       // -install: registered, but it did not start
  kExitRegistryFailed = 8,    // the event source or the driver's record could not be written
  kExitRemoveFailed = 9,      // -delete: a service could not be stopped or deleted
  kExitNoAgentKey = 10,       // -fingerprint: the agent has no key yet
  kExitConfigureFailed = 11,  // -configure: the service is missing or refused the change
};

// The status for a failed call to the control manager or the registry: access denied means
// the tool lacks administrator rights; anything else is the step's own status.
inline int StatusForError(DWORD error, int otherwise) {
  return error == ERROR_ACCESS_DENIED ? kExitNotAdministrator : otherwise;
}

// One line per status, for the usage text and the documentation.
const char* UsageText();
