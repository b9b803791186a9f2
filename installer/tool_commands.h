// The commands of the tool.
#pragma once

#include "installer/tool_args.h"

// Runs the parsed command line and returns the process exit status (installer/exit_status.h).
// Anything but a known command prints the usage and changes nothing.
int RunToolCommand(const ToolArgs& args);
