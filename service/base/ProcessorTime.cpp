#include "ProcessorTime.h"

#include <algorithm>
#include <ctime>
#include <limits>
#include <sys/resource.h>

namespace zel::service {

double ProcessorSecondsLeft() {
    rlimit limit{};
    if (getrlimit(RLIMIT_CPU, &limit) != 0 || limit.rlim_cur == RLIM_INFINITY)
        return std::numeric_limits<double>::infinity();
    return std::max(0.0, double(limit.rlim_cur) - ProcessorSecondsUsed());
}

double ProcessorSecondsUsed() {
    timespec used{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &used);
    return double(used.tv_sec) + double(used.tv_nsec) / 1e9;
}

double ThreadProcessorSecondsUsed() {
    timespec used{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &used);
    return double(used.tv_sec) + double(used.tv_nsec) / 1e9;
}

} // namespace zel::service
