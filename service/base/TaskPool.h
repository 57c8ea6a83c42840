#pragma once
// A few threads that run tasks in turn: work that may block (a login mailed
// over SMTP) runs here, off the HTTP front's event thread.

#include <condition_variable>
#include <deque>
#include <functional>
#include <mutex>
#include <thread>
#include <vector>

namespace zel::service {

class TaskPool {
public:
    explicit TaskPool(int threads);
    // Runs what was queued, then ends the threads.
    ~TaskPool();
    TaskPool(const TaskPool&) = delete;
    TaskPool& operator=(const TaskPool&) = delete;

    void Run(std::function<void()> task);

private:
    void Work();

    std::mutex mutex_;
    std::condition_variable queued_;
    std::deque<std::function<void()>> tasks_;
    bool stopping_ = false;
    std::vector<std::thread> threads_;
};

} // namespace zel::service
