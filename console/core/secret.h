// Passwords typed in the console do not stay in memory once their request has been sent:
// their bytes are overwritten in place before the string or buffer lets them go.
#pragma once

#include "transport/core/wipe.h"

using tavi::WipeSecret;
