#include "TaskPool.h"

#include <algorithm>

namespace zel::service {

TaskPool::TaskPool(int threads) {
    for (int i = 0; i < std::max(1, threads); ++i)
        threads_.emplace_back([this] { Work(); });
}

TaskPool::~TaskPool() {
    {
        std::lock_guard lock(mutex_);
        stopping_ = true;
    }
    queued_.notify_all();
    for (auto& thread : threads_)
        thread.join();
}

void TaskPool::Run(std::function<void()> task) {
    {
        std::lock_guard lock(mutex_);
        tasks_.push_back(std::move(task));
    }
    queued_.notify_one();
}

void TaskPool::Work() {
    std::unique_lock lock(mutex_);
    for (;;) {
        queued_.wait(lock, [this] { return stopping_ || !tasks_.empty(); });
        if (tasks_.empty())
            return;
        std::function<void()> task = std::move(tasks_.front());
        tasks_.pop_front();
        lock.unlock();
        task();
        lock.lock();
    }
}

} // namespace zel::service
