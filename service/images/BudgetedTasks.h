#pragma once
// Runs tasks in their order on up to `workers` threads (this one among them).
// A task starts only before the deadline, except the first, which always
// runs. The first exception a task throws is thrown again once all ended.
// False when a task was left out for time.

#include <chrono>
#include <functional>
#include <vector>

namespace zel::service {

bool RunBudgeted(const std::vector<std::function<void()>>& tasks, int workers,
                 std::chrono::steady_clock::time_point deadline);

} // namespace zel::service
