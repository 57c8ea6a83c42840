#pragma once
// Runs each page job in a child process: the service's own program started
// again with the "job" sub-command (no fork of the multithreaded service).
// The child limits its own memory, processor time and file size; this side
// kills it when its wall time is over or its job is replaced, and turns a
// crash or a limit into the failure it was.

#include "JobOrder.h"
#include "JobRunner.h"
#include "RendererPool.h"

#include <chrono>
#include <string>
#include <vector>

namespace zel::service {

struct ChildJobSettings {
    std::string executable = "/proc/self/exe";
    PageLimits limits;
    ProcessLimits process;
    std::chrono::seconds wallTime{60};
    RendererSettings renderers; // browsers lent to jobs when limits.render is not Never
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
