#include "BudgetedTasks.h"

#include <atomic>
#include <exception>
#include <mutex>
#include <system_error>
#include <thread>

namespace zel::service {

bool RunBudgeted(const std::vector<std::function<void()>>& tasks, int workers,
                 std::chrono::steady_clock::time_point deadline) {
    std::atomic<std::size_t> next{0};
    std::atomic<bool> leftOut{false};
    std::mutex failureLock;
    std::exception_ptr failure;
    auto work = [&] {
        for (;;) {
            const std::size_t task = next++;
            if (task >= tasks.size())
                return;
            if (task > 0 && std::chrono::steady_clock::now() >= deadline) {
                leftOut = true;
                return;
            }
            try {
                tasks[task]();
            } catch (...) {
                const std::lock_guard<std::mutex> lock(failureLock);
                if (!failure)
                    failure = std::current_exception();
            }
        }
    };
    std::vector<std::thread> helpers;
    for (int helper = 1; helper < workers && std::size_t(helper) < tasks.size(); ++helper) {
        try {
            helpers.emplace_back(work);
        } catch (const std::system_error&) {
            break; // no thread to be had within the process's limits: fewer workers
        }
    }
    work();
    for (std::thread& helper : helpers)
        helper.join();
    if (failure)
        std::rethrow_exception(failure);
    return !leftOut;
}

} // namespace zel::service
