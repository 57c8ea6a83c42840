#pragma once
// The child process side of a page job: the service starts its own program
// again with the sub-command "job". The child reads its JobOrder from
// standard input, limits its own memory, processor time and file size,
// makes the page and reports on descriptor 3, one line each:
//   "fetched <bytes>"  bytes that came over the wire since the last line
//   "stages <StageTimes::Fields>"  where a made page's processor time went
//   "done <ok|failure name> <page bytes> <archive bytes> <detail>"  the outcome
// A crash or a limit ends only this process; the service reads what
// happened from its exit status.

#include "PageTypes.h"

#include <functional>
#include <string>
#include <string_view>

namespace zel::service {

using PageMakerFunction =
    std::function<PageOutcome(const PageRequest&, const PageLimits&, const std::string&,
                              const std::function<void(std::int64_t)>&)>;

// The sub-command's name on the command line.
inline constexpr const char* kJobCommand = "job";
// The descriptor the child reports on.
inline constexpr int kReportDescriptor = 3;

// The outcome's report line, without its line end.
std::string OutcomeLine(const PageOutcome& outcome);
// The outcome a "done" line tells of. The line comes from a process that
// may have gone wrong: whatever does not read as an outcome is a garbled
// report, never a success.
PageOutcome ReadOutcomeLine(std::string_view line);

// Runs one job with `makePage`; returns the process's exit code.
int RunJobChild(const PageMakerFunction& makePage);

} // namespace zel::service
