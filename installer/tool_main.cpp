// TaviTool: -install DIR copies the capture driver and registers and starts the agent
// service; -delete stops and removes the services and the driver; -fingerprint prints the
// agent's key fingerprint; -configure completes a registration made by the agent package.
// The exit status says what failed (installer/exit_status.h).
#include <windows.h>

#include "installer/parent_console.h"
#include "installer/tool_args.h"
#include "installer/tool_commands.h"
#include "transport/platform/system_dlls.h"

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR commandTail, int) {
  // Runs elevated, often from a download folder: later loads come from System32 only.
  tavi::RestrictDllSearchToSystem32();
  // A GUI-subsystem program: started from cmd or PowerShell its lines would go nowhere.
  UseParentConsole();
  return RunToolCommand(ParseToolArgs(commandTail));
}
