// The clocks the portable core reads whose calls differ per system.
#pragma once

#include <cstdint>
#include <string>

namespace tavi {

// CPU time of the calling thread in microseconds, for the verification counters; 0 when the
// system cannot tell.
uint64_t ThreadCpuMicros();

// Today's date in UTC as YYYY-MM-DD.
std::string TodayUtc();

}  // namespace tavi
