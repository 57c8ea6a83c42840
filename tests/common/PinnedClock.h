#pragma once
// Pins Now() for one test and gives the system clock back afterwards.

#include "DateTime.h"

namespace zel::test {

class PinnedClock {
public:
    explicit PinnedClock(DateTime t) : time_(t) {
        SetClockForTesting([this] { return time_; });
    }
    ~PinnedClock() { SetClockForTesting({}); }
    PinnedClock(const PinnedClock&) = delete;
    PinnedClock& operator=(const PinnedClock&) = delete;

    void set(DateTime t) { time_ = t; }

private:
    DateTime time_;
};

} // namespace zel::test
