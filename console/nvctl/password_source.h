// Where nvctl's passwords come from: a file, an environment variable, or a prompt on the
// console without echo. Never the command line.
#pragma once

#include <string>

#include "console/nvctl/secret.h"

// From `file` (given by the option `fileOption`) when given, else from the variable
// `variable` when set, else prompted with `prompt` (twice when `confirm`, both must match).
// False with the reason in `error`.
bool ReadPassword(const std::string& file, const char* fileOption, const char* variable,
                  const char* prompt, bool confirm, Secret& password, std::string& error);
