// Where "Netvane.cfg" lives, for the dialog console and nvctl alike, so both run with the
// same options on one PC. It lives beside the program; a user who cannot write there (a
// console installed in Program Files) keeps a copy of his own in his application data,
// "%APPDATA%\Netvane\Netvane.cfg".
#pragma once

#include "console/core/console_config.h"

// The file beside the program when the user can write it (it is the one saved at close);
// otherwise the user's own copy when it exists; otherwise the one beside the program as it
// stands (an administrator's defaults, read-only to users). False when none can be read or
// it is cut short: then the built-in defaults stay for every option.
bool ReadConsoleConfig(ConsoleConfig& config);

// Beside the program when that works, else the user's own copy. False when neither could be
// written.
bool WriteConsoleConfig(const ConsoleConfig& config);

// The stored time-outs and retry count handed to the transport as stored; the dialog's
// limits are for typing, not for this file.
void ApplyTransportOptions(const ConsoleConfig& config);
