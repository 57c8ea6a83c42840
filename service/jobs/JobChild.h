#pragma once
// The child process side of a page job: the service starts its own program
// again with the sub-command "job". The child reads its JobOrder from
// standard input, limits its own memory, processor time and file size,
// makes the page and reports on descriptor 3, one line each:
//   "fetched <bytes>"  bytes that came over the wire since the last line
//   "done <1|0> <page bytes> <archive bytes> <error text>"  the outcome
// A crash or a limit ends only this process; the service reads what
// happened from its exit status.

#include "PageTypes.h"

#include <functional>

namespace zel::service {

using PageMakerFunction =
    std::function<PageOutcome(const PageRequest&, const PageLimits&, const std::string&,
                              const std::function<void(std::int64_t)>&)>;

// The sub-command's name on the command line.
inline constexpr const char* kJobCommand = "job";
// The descriptor the child reports on.
inline constexpr int kReportDescriptor = 3;

// Runs one job with `makePage`; returns the process's exit code.
int RunJobChild(const PageMakerFunction& makePage);

} // namespace zel::service
