#include "LocalJobQueue.h"

#include <algorithm>
#include <iostream>
#include <iterator>

namespace zel::service {

using Clock = std::chrono::steady_clock;

namespace {

// A fault of the service or of the page maker, not of the page: whoever runs
// the service needs its detail, the user only its kind.
void ReportFault(const PageOutcome& outcome) {
    const bool fault = outcome.failure == FailureKind::JobFailed ||
                       outcome.failure == FailureKind::GarbledReport ||
                       outcome.failure == FailureKind::ArchiveUnwritable;
    if (fault && !outcome.detail.empty())
        std::cerr << "zelservice: " << NameOf(outcome.failure) << ": " << outcome.detail << '\n';
}

} // namespace

// A waiting request: woken once, by its job or by its deadline, whichever
// comes first.
struct LocalJobQueue::Waiter {
    std::atomic<bool> woken{false};
    std::function<void()> settled;

    void Wake() {
        if (!woken.exchange(true))
            settled();
    }
};

struct LocalJobQueue::Job {
    enum class State { Waiting, Running, Done, Failed };

    std::uint64_t id = 0;
    std::string login;
    PageRequest request;
    Clock::time_point submitted;
    std::atomic<bool> cancelled{false};

    // Guarded by the queue's mutex.
    State state = State::Waiting;
    std::int64_t fetched = 0;  // bytes over the wire so far
    std::int64_t reported = 0; // of those, told to the browser already
    std::int64_t archiveBytes = 0;
    FailureKind failure = FailureKind::JobFailed;
    Waiters waiters;

    bool Ended() const { return state == State::Done || state == State::Failed; }
};

LocalJobQueue::LocalJobQueue(JobRunner& runner, ArchiveStore& archives, AccessLog& log, int workers,
                             std::size_t maxWaiting)
    : runner_(runner), archives_(archives), log_(log), maxWaiting_(maxWaiting) {
    for (int i = 0; i < std::max(1, workers); ++i)
        workers_.emplace_back([this] { Work(); });
}

LocalJobQueue::~LocalJobQueue() {
    Waiters waiters;
    {
        std::lock_guard lock(mutex_);
        stopping_ = true;
        for (auto& [login, job] : current_) {
            job->cancelled = true;
            std::ranges::move(job->waiters, std::back_inserter(waiters));
            job->waiters.clear();
        }
    }
    workAvailable_.notify_all();
    Wake(waiters);
    for (auto& worker : workers_)
        worker.join();
}

std::uint64_t LocalJobQueue::Submit(const std::string& login, const PageRequest& request) {
    auto job = std::make_shared<Job>();
    job->login = login;
    job->request = request;
    job->submitted = Clock::now();
    Waiters replaced;
    {
        std::lock_guard lock(mutex_);
        job->id = nextId_++;
        auto& slot = current_[login];
        if (slot) {
            slot->cancelled = true;
            replaced = std::move(slot->waiters);
        }
        slot = job;
        std::erase_if(waiting_, [](const auto& waiting) { return waiting->cancelled.load(); });
        if (waiting_.size() >= maxWaiting_) {
            job->state = Job::State::Failed;
            job->failure = FailureKind::Busy;
        } else {
            waiting_.push_back(job);
        }
    }
    workAvailable_.notify_one();
    Wake(replaced);
    return job->id;
}

void LocalJobQueue::WhenSettled(const std::string& login, std::optional<std::uint64_t> jobId,
                                std::chrono::milliseconds wait, std::function<void()> settled) {
    auto waiter = std::make_shared<Waiter>();
    waiter->settled = std::move(settled);
    {
        std::lock_guard lock(mutex_);
        const auto found = current_.find(login);
        if (found != current_.end() && found->second->id == jobId.value_or(found->second->id) &&
            !found->second->Ended() && !stopping_ && wait.count() > 0) {
            Job& job = *found->second;
            std::erase_if(job.waiters, [](const auto& old) { return old->woken.load(); });
            job.waiters.push_back(waiter);
            timer_.At(Clock::now() + wait, [waiter] { waiter->Wake(); });
            return;
        }
    }
    waiter->Wake();
}

bool LocalJobQueue::CanTakeJobs() {
    std::lock_guard lock(mutex_);
    return !stopping_ && waiting_.size() < maxWaiting_;
}

std::optional<JobReport> LocalJobQueue::Take(const std::string& login,
                                             std::optional<std::uint64_t> jobId) {
    std::lock_guard lock(mutex_);
    const auto found = current_.find(login);
    if (found == current_.end())
        return jobId ? std::optional(
                           JobReport{JobReport::State::Replaced, 0, 0, FailureKind::Replaced})
                     : std::nullopt;
    const std::shared_ptr<Job> job = found->second;
    if (job->id != jobId.value_or(job->id))
        return JobReport{JobReport::State::Replaced, 0, 0, FailureKind::Replaced};

    JobReport report;
    switch (job->state) {
    case Job::State::Done:
        report.state = JobReport::State::Done;
        report.archiveBytes = job->archiveBytes;
        break;
    case Job::State::Failed:
        report.state = JobReport::State::Failed;
        report.failure = job->failure;
        break;
    default:
        report.state = JobReport::State::Running;
        break;
    }
    report.newBytes = std::max<std::int64_t>(0, job->fetched - job->reported);
    job->reported += report.newBytes;
    return report;
}

bool LocalJobQueue::IsCurrent(const Job& job) const {
    const auto found = current_.find(job.login);
    return found != current_.end() && found->second.get() == &job;
}

void LocalJobQueue::Work() {
    for (;;) {
        std::shared_ptr<Job> job;
        {
            std::unique_lock lock(mutex_);
            workAvailable_.wait(lock, [&] { return stopping_ || !waiting_.empty(); });
            if (stopping_)
                return;
            job = waiting_.front();
            waiting_.pop_front();
            if (job->cancelled)
                continue;
            job->state = Job::State::Running;
        }
        RunJob(job);
    }
}

void LocalJobQueue::RunJob(const std::shared_ptr<Job>& job) {
    const std::string workPath = archives_.WorkPath(job->login, job->id);
    const PageOutcome outcome = runner_.Run(
        job->request, workPath,
        [&](std::int64_t bytes) {
            std::lock_guard lock(mutex_);
            job->fetched += bytes;
        },
        job->cancelled);
    Wake(Finish(*job, outcome, workPath));
}

void LocalJobQueue::Wake(const Waiters& waiters) {
    for (const auto& waiter : waiters)
        waiter->Wake();
}

LocalJobQueue::Waiters LocalJobQueue::Finish(Job& job, const PageOutcome& outcome,
                                             const std::string& workPath) {
    std::lock_guard lock(mutex_);
    // The page's size is what the page maker counted in the end, whatever
    // the progress reports added up to.
    if (outcome.ok)
        job.fetched = outcome.pageBytes;
    if (job.cancelled || !IsCurrent(job)) {
        archives_.Discard(workPath);
        job.state = Job::State::Failed;
        job.failure = FailureKind::Replaced;
    } else if (!outcome.ok) {
        archives_.Discard(workPath);
        job.state = Job::State::Failed;
        job.failure = outcome.failure;
        ReportFault(outcome);
    } else {
        try {
            job.archiveBytes = archives_.Publish(job.login, workPath);
            job.state = Job::State::Done;
        } catch (const std::exception& failure) {
            archives_.Discard(workPath);
            job.state = Job::State::Failed;
            job.failure = FailureKind::ArchiveUnwritable;
            ReportFault(PageOutcome::Failed(job.failure, failure.what()));
        }
    }
    // Logged before anyone hears of the end, so the log has every job
    // that a browser saw finish.
    const auto elapsed =
        std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - job.submitted);
    const bool made = job.state == Job::State::Done;
    log_.Write({job.login, job.request.url, job.fetched, job.archiveBytes, elapsed.count(),
                made ? std::nullopt : std::optional(job.failure),
                made ? outcome.stages : StageTimes{}});
    return std::move(job.waiters);
}

} // namespace zel::service
