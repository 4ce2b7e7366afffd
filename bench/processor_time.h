#pragma once

// Processor time of this process, in seconds. The machines the benchmarks run on are
// shared, and wall time then measures the neighbours as much as us.

#include <ctime>

namespace bench {

inline double processorSeconds()
{
    timespec now {};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &now);
    return static_cast<double>(now.tv_sec) + static_cast<double>(now.tv_nsec) / 1e9;
}

} // namespace bench
