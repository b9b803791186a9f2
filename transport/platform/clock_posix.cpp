#include "transport/platform/clock.h"

#include <time.h>

namespace tavi {

uint64_t ThreadCpuMicros() {
  timespec now{};
  if (clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now) != 0) return 0;
  return static_cast<uint64_t>(now.tv_sec) * 1000000u + static_cast<uint64_t>(now.tv_nsec) / 1000u;
}

std::tm UtcTime(std::time_t when) {
  std::tm utc{};
  gmtime_r(&when, &utc);
  return utc;
}

}  // namespace tavi
