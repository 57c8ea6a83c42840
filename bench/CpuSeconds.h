#pragma once
// The processor time the benchmarks measure.

#include <sys/resource.h>

// CPU seconds (user and system) of the process, this thread (RUSAGE_THREAD)
// or the finished child processes (RUSAGE_CHILDREN).
inline double CpuSeconds(int who = RUSAGE_SELF) {
    rusage usage{};
    ::getrusage(who, &usage);
    auto seconds = [](timeval t) { return static_cast<double>(t.tv_sec) + t.tv_usec / 1e6; };
    return seconds(usage.ru_utime) + seconds(usage.ru_stime);
}
