// nvctl's commands on the real transport. Each returns the exit status.
#pragma once

#include "console/nvctl/arguments.h"

int RunCommand(const Arguments& arguments);
