#include "StageClock.h"

#include "ProcessorTime.h"

#include <cstdio>

namespace zel::service {
namespace {

constexpr const char* kNames[kStages] = {"fetch", "rewrite",       "decode", "jpeg",
                                         "webp",  "webp-lossless", "png",    "gif",
                                         "avif",  "judge",         "pack"};

} // namespace

const char* StageName(Stage stage) {
    return kNames[int(stage)];
}

double StageTimes::Total() const {
    double total = 0;
    for (double seconds : cpuSeconds)
        total += seconds;
    return total;
}

std::string StageTimes::Text() const {
    std::string text;
    for (int stage = 0; stage < kStages; ++stage) {
        if (runs[std::size_t(stage)] == 0)
            continue;
        char item[64];
        std::snprintf(item, sizeof item, "%s%s %.3fs/%d", text.empty() ? "" : " ", kNames[stage],
                      cpuSeconds[std::size_t(stage)], runs[std::size_t(stage)]);
        text += item;
    }
    return text;
}

StageClock::Scope::Scope(StageClock* clock, Stage stage) : clock_(clock), stage_(stage) {
    if (clock_)
        clock_->Change(stage_, 1);
}

StageClock::Scope::~Scope() {
    if (clock_)
        clock_->Change(stage_, -1);
}

void StageClock::Change(Stage stage, int delta) {
    const std::lock_guard<std::mutex> guard(lock_);
    const double now = ProcessorSecondsUsed();
    if (anyRunning_ > 0) {
        const double share = (now - last_) / anyRunning_;
        for (int each = 0; each < kStages; ++each)
            times_.cpuSeconds[std::size_t(each)] += share * running_[std::size_t(each)];
    }
    last_ = now;
    running_[std::size_t(stage)] += delta;
    anyRunning_ += delta;
    if (delta > 0)
        ++times_.runs[std::size_t(stage)];
}

StageTimes StageClock::Times() const {
    const std::lock_guard<std::mutex> guard(lock_);
    return times_;
}

} // namespace zel::service
