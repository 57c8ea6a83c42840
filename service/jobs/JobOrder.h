#pragma once
// What the service hands a job's child process on its standard input: the
// page request, the page limits, where to write the archive and the limits
// the child sets on itself. One "key value" line each.

#include "PageLimits.h"
#include "PageTypes.h"

#include <cstdint>
#include <optional>
#include <string>

namespace zel::service {

// Limits of the child process itself (0: not set).
struct ProcessLimits {
    std::int64_t memoryBytes = 1024LL << 20; // address space
    int cpuSeconds = 30;
    std::int64_t fileBytes = 256LL << 20; // largest file it may write
};

struct JobOrder {
    PageRequest request;
    PageLimits limits;
    ProcessLimits process;
    std::string archivePath;
};

std::string EncodeJobOrder(const JobOrder& order);
// Empty when a line is missing or malformed (say, the service died while
// writing it).
std::optional<JobOrder> DecodeJobOrder(const std::string& text);

} // namespace zel::service
