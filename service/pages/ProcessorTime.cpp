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
    timespec used{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &used);
    const double spent = double(used.tv_sec) + double(used.tv_nsec) / 1e9;
    return std::max(0.0, double(limit.rlim_cur) - spent);
}

} // namespace zel::service
