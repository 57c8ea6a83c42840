#include "StageClock.h"

#include "ProcessorTime.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdio>

namespace zel::service {
namespace {

constexpr const char* kNames[kStages] = {"fetch", "rewrite",       "decode", "jpeg",
                                         "webp",  "webp-lossless", "png",    "gif",
                                         "avif",  "judge",         "reuse",  "pack"};

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

bool StageTimes::Any() const {
    return std::any_of(runs.begin(), runs.end(), [](int count) { return count > 0; });
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

std::string StageTimes::Fields() const {
    char total[32];
    std::snprintf(total, sizeof total, "cpu=%.3f", Total());
    std::string text = total;
    for (int stage = 0; stage < kStages; ++stage) {
        if (runs[std::size_t(stage)] == 0)
            continue;
        char item[64];
        std::snprintf(item, sizeof item, " %s=%.3f/%d", kNames[stage],
                      cpuSeconds[std::size_t(stage)], runs[std::size_t(stage)]);
        text += item;
    }
    return text;
}

std::optional<StageTimes> StageTimes::FromFields(std::string_view text) {
    StageTimes times;
    while (!text.empty()) {
        const std::string_view field = text.substr(0, text.find(' '));
        text.remove_prefix(std::min(field.size() + 1, text.size()));
        const auto equals = field.find('=');
        const auto slash = field.find('/');
        const std::string_view name = field.substr(0, equals);
        if (name == "cpu" && equals != std::string_view::npos)
            continue;
        int stage = 0;
        while (stage < kStages && name != kNames[stage])
            ++stage;
        if (stage == kStages || equals == std::string_view::npos ||
            slash == std::string_view::npos || slash < equals)
            return std::nullopt;
        const std::string_view secondsText = field.substr(equals + 1, slash - equals - 1);
        const std::string_view runText = field.substr(slash + 1);
        double value = 0;
        int count = 0;
        const auto seconds =
            std::from_chars(secondsText.data(), secondsText.data() + secondsText.size(), value,
                            std::chars_format::fixed);
        const auto counted =
            std::from_chars(runText.data(), runText.data() + runText.size(), count);
        if (seconds.ec != std::errc() || seconds.ptr != secondsText.data() + secondsText.size() ||
            counted.ec != std::errc() || counted.ptr != runText.data() + runText.size() ||
            !std::isfinite(value) || value < 0 || count < 0)
            return std::nullopt;
        times.cpuSeconds[std::size_t(stage)] = value;
        times.runs[std::size_t(stage)] = count;
    }
    return times;
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
    const double now =
        counted_ == Counted::Thread ? ThreadProcessorSecondsUsed() : ProcessorSecondsUsed();
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
