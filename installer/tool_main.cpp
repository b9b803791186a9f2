// TaviTool: -install DIR copies the capture driver and registers and starts the agent
// service; -delete stops and removes the services and the driver. Exit code always 0.
#include <windows.h>

#include "installer/tool_args.h"
#include "installer/tool_commands.h"

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR commandTail, int) {
  RunToolCommand(ParseToolArgs(commandTail));
  return 0;
}
