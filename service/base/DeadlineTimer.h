#pragma once
// Runs tasks at their deadlines on one thread of its own, so any number of
// requests can wait for a deadline without holding a thread each. Tasks
// still due when the timer is destroyed are dropped.

#include <chrono>
#include <condition_variable>
#include <functional>
#include <map>
#include <mutex>
#include <thread>

namespace zel::service {

class DeadlineTimer {
public:
    using Clock = std::chrono::steady_clock;

    DeadlineTimer();
    ~DeadlineTimer();
    DeadlineTimer(const DeadlineTimer&) = delete;
    DeadlineTimer& operator=(const DeadlineTimer&) = delete;

    void At(Clock::time_point when, std::function<void()> task);

private:
    void Run();

    std::mutex mutex_;
    std::condition_variable changed_;
    std::multimap<Clock::time_point, std::function<void()>> tasks_;
    bool stopping_ = false;
    std::thread thread_; // last: starts once the members above exist
};

} // namespace zel::service
