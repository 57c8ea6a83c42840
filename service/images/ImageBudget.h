#pragma once
// The time and processors one image may take.

#include "StageClock.h"

#include <chrono>

namespace zel::service {

struct ImageBudget {
    // Encodings not started by then are left out; the first always runs.
    std::chrono::steady_clock::time_point deadline = std::chrono::steady_clock::time_point::max();
    int workers = 1;             // encodings at once
    StageClock* clock = nullptr; // times the image's stages, when given
    bool* leftOut = nullptr;     // set when an encoding was left out for time
};

} // namespace zel::service
