#pragma once
// The node's health, asked on a thread of its own since the answer may wait
// on the account store. One question at a time: checks that come while one
// is asked share its answer, so a stalled store is asked once, not once for
// every check that comes meanwhile.

#include "TaskPool.h"

#include <functional>
#include <mutex>
#include <vector>

namespace zel::service {

class HealthCheck {
public:
    using Answer = std::function<void(bool healthy)>;

    explicit HealthCheck(std::function<bool()> ask);

    // `answer` is called once, from the check's thread.
    void Check(Answer answer);

private:
    void AskNow();

    const std::function<bool()> ask_;
    std::mutex mutex_;
    std::vector<Answer> waiting_;
    TaskPool thread_{1}; // last: ends before the members above
};

} // namespace zel::service
