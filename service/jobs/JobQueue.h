#pragma once
// The page jobs of all logins: one current job a login, a newer one
// replacing the older. Run by worker threads of this process by default; a
// shared stream of jobs and workers on other machines serve several
// machines behind the same interface.

#include "PageTypes.h"

#include <chrono>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>

namespace zel::service {

// What a waiting request tells the browser about a job.
struct JobReport {
    enum class State { Running, Done, Failed, Replaced };
    State state = State::Running;
    // Page bytes fetched since the last report of this job; with Done, all
    // the rest, so the reports of one job add up to the page's size.
    std::int64_t newBytes = 0;
    std::int64_t archiveBytes = 0;                // Done
    FailureKind failure = FailureKind::JobFailed; // Failed, Replaced
};

class JobQueue {
public:
    virtual ~JobQueue() = default;
    // Starts a job for the login, cancelling its older one; returns its id.
    virtual std::uint64_t Submit(const std::string& login, const PageRequest& request) = 0;
    // Calls `settled` once when the job is worth reporting on: at once when
    // it has ended, was replaced or does not exist, else (from another
    // thread) when one of these happens or `wait` has passed. `job` names
    // the job a page request started; without it the login's current job is
    // meant.
    virtual void WhenSettled(const std::string& login, std::optional<std::uint64_t> job,
                             std::chrono::milliseconds wait, std::function<void()> settled) = 0;
    // Reports on the job as it is now (Replaced when a newer one took its
    // place). Empty when the login has no job and `job` is not given.
    virtual std::optional<JobReport> Take(const std::string& login,
                                          std::optional<std::uint64_t> job) = 0;
    // Whether a new job would be taken now rather than refused as busy.
    virtual bool CanTakeJobs() = 0;
};

} // namespace zel::service
