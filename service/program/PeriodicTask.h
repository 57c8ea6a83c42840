#pragma once
// Runs a task on a thread of its own every so often until destroyed (the
// removal of old archives).

#include <chrono>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <thread>

namespace zel::service {

class PeriodicTask {
public:
    PeriodicTask(std::chrono::milliseconds every, std::function<void()> task)
        : thread_([this, every, task = std::move(task)] {
              std::unique_lock lock(mutex_);
              while (!wake_.wait_for(lock, every, [this] { return stopping_; })) {
                  lock.unlock();
                  task();
                  lock.lock();
              }
          }) {}
    ~PeriodicTask() {
        {
            std::lock_guard lock(mutex_);
            stopping_ = true;
        }
        wake_.notify_all();
        thread_.join();
    }
    PeriodicTask(const PeriodicTask&) = delete;
    PeriodicTask& operator=(const PeriodicTask&) = delete;

private:
    std::mutex mutex_;
    std::condition_variable wake_;
    bool stopping_ = false;
    std::thread thread_; // last: starts once the members above exist
};

} // namespace zel::service
