#include "DeadlineTimer.h"

namespace zel::service {

DeadlineTimer::DeadlineTimer() : thread_([this] { Run(); }) {}

DeadlineTimer::~DeadlineTimer() {
    {
        std::lock_guard lock(mutex_);
        stopping_ = true;
    }
    changed_.notify_all();
    thread_.join();
}

void DeadlineTimer::At(Clock::time_point when, std::function<void()> task) {
    {
        std::lock_guard lock(mutex_);
        tasks_.emplace(when, std::move(task));
    }
    changed_.notify_all();
}

void DeadlineTimer::Run() {
    std::unique_lock lock(mutex_);
    while (!stopping_) {
        if (tasks_.empty()) {
            changed_.wait(lock);
            continue;
        }
        const auto first = tasks_.begin();
        if (first->first > Clock::now()) {
            changed_.wait_until(lock, first->first);
            continue;
        }
        std::function<void()> task = std::move(first->second);
        tasks_.erase(first);
        lock.unlock();
        task();
        lock.lock();
    }
}

} // namespace zel::service
