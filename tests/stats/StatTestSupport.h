#pragma once
// Helpers shared by the statistics tests.

#include "DateTime.h"

namespace zel::test {

// Pins Now() for one test and restores the system clock afterwards.
class PinnedClock {
public:
    explicit PinnedClock(DateTime value) {
        SetClockForTesting([value] { return value; });
    }
    ~PinnedClock() { SetClockForTesting({}); }
    PinnedClock(const PinnedClock&) = delete;
    PinnedClock& operator=(const PinnedClock&) = delete;
};

} // namespace zel::test
