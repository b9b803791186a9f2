// The commands of the tool.
#pragma once

#include "installer/tool_args.h"

// Runs the parsed command line; anything but -install, -delete or -fingerprint does nothing.
void RunToolCommand(const ToolArgs& args);
