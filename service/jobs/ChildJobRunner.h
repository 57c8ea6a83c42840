#pragma once
// Runs each page job in a child process: the service's own program started
// again with the "job" sub-command (no fork of the multithreaded service).
// The child limits its own memory, processor time and file size; this side
// kills it when its wall time is over or its job is replaced, and turns a
// crash or a limit into the failure it was. A page kept whole is served
// before any child is started: starting one costs more than the check.

#include "JobOrder.h"
#include "JobRunner.h"
#include "RendererPool.h"

#include <chrono>
#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace zel::service {

// Serves the page kept for a request, as `program` would make it, into the
// archive when it is still good; nothing otherwise, or once `stop` says so.
// Never throws.
using KeptPageFunction = std::function<std::optional<PageOutcome>(
    const std::string& program, const PageRequest&, const PageLimits&,
    const std::string& archivePath, const std::function<void(std::int64_t)>& onFetched,
    const std::function<bool()>& stop)>;

struct ChildJobSettings {
    std::string executable = "/proc/self/exe";
    PageLimits limits;
    ProcessLimits process;
    std::chrono::seconds wallTime{60};
    RendererSettings renderers; // browsers lent to jobs when limits.render is not Never
    KeptPageFunction keptPage;  // none: every page is made
};

class ChildJobRunner : public JobRunner {
public:
    explicit ChildJobRunner(ChildJobSettings settings);
    PageOutcome Run(const PageRequest& request, const std::string& archivePath,
                    const std::function<void(std::int64_t bytes)>& onFetched,
                    const std::atomic<bool>& cancelled) override;

private:
    ChildJobSettings settings_;
    RendererPool renderers_;
};

} // namespace zel::service
