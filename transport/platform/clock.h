// The clocks the portable core reads whose calls differ per system.
#pragma once

#include <cstdint>
#include <ctime>

namespace tavi {

// CPU time of the calling thread in microseconds, for the verification counters; 0 when the
// system cannot tell.
uint64_t ThreadCpuMicros();

// The calendar time in UTC (the thread-safe gmtime of each system).
std::tm UtcTime(std::time_t when);

}  // namespace tavi
