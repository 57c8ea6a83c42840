#pragma once
// Runs tasks in their order on up to `workers` threads (this one among them).
// A task starts only before the deadline, except the first, which always
// runs. The first exception a task throws is thrown again once all ended.

#include <chrono>
#include <functional>
#include <vector>

namespace zel::service {

void RunBudgeted(const std::vector<std::function<void()>>& tasks, int workers,
                 std::chrono::steady_clock::time_point deadline);

} // namespace zel::service
