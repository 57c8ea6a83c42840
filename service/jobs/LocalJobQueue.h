#pragma once
// Page jobs run by a few worker threads of this process, each job through
// the job runner (a child process of its own). A waiting request is a
// callback kept with its job and with the deadline timer, not a thread.

#include "AccessLog.h"
#include "ArchiveStore.h"
#include "DeadlineTimer.h"
#include "JobQueue.h"
#include "JobRunner.h"

#include <condition_variable>
#include <deque>
#include <map>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

namespace zel::service {

class LocalJobQueue : public JobQueue {
public:
    // `workers` jobs run at once; beyond `maxWaiting` jobs waiting for a
    // worker a new one is refused as busy.
    LocalJobQueue(JobRunner& runner, ArchiveStore& archives, AccessLog& log, int workers,
                  std::size_t maxWaiting);
    // Cancels every job and waits for the workers.
    ~LocalJobQueue() override;
    LocalJobQueue(const LocalJobQueue&) = delete;
    LocalJobQueue& operator=(const LocalJobQueue&) = delete;

    std::uint64_t Submit(const std::string& login, const PageRequest& request) override;
    void WhenSettled(const std::string& login, std::optional<std::uint64_t> job,
                     std::chrono::milliseconds wait, std::function<void()> settled) override;
    std::optional<JobReport> Take(const std::string& login,
                                  std::optional<std::uint64_t> job) override;
    bool CanTakeJobs() override;

private:
    struct Job;
    struct Waiter;
    using Waiters = std::vector<std::shared_ptr<Waiter>>;
    void Work();
    void RunJob(const std::shared_ptr<Job>& job);
    // Records the outcome and logs the job; returns its waiting requests.
    Waiters Finish(Job& job, const PageOutcome& outcome, const std::string& workPath);
    static void Wake(const Waiters& waiters);
    bool IsCurrent(const Job& job) const;

    JobRunner& runner_;
    ArchiveStore& archives_;
    AccessLog& log_;
    const std::size_t maxWaiting_;

    std::mutex mutex_;
    std::condition_variable workAvailable_;
    std::map<std::string, std::shared_ptr<Job>> current_; // by login
    std::deque<std::shared_ptr<Job>> waiting_;
    std::uint64_t nextId_ = 1;
    bool stopping_ = false;
    std::vector<std::thread> workers_;
    DeadlineTimer timer_;
};

} // namespace zel::service
