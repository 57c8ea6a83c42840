#pragma once
// Where a page job's processor time goes, stage by stage. The process's CPU
// clock counts every thread, libvips' own workers included; while stages
// run side by side, the time between two changes is shared out equally
// among the stages running, so the stages add up to the time any ran.
// Work done by one thread of a process that does other work besides is
// timed by that thread's clock instead.

#include <array>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>

namespace zel::service {

enum class Stage {
    Fetch,
    Rewrite,
    Decode,
    Jpeg,
    Webp,
    WebpLossless,
    Png,
    Gif,
    Avif,
    Judge,
    Reuse, // a finished page checked and served again
    Pack,
};
constexpr int kStages = int(Stage::Pack) + 1;

const char* StageName(Stage stage);

struct StageTimes {
    std::array<double, kStages> cpuSeconds{};
    std::array<int, kStages> runs{};
    double Total() const;
    bool Any() const; // whether any stage ran
    // "fetch 0.02s/1 decode 0.10s/58 ...": the stages that ran.
    std::string Text() const;
    // "cpu=0.140 fetch=0.020/1 decode=0.100/58 ...": the total and the
    // stages that ran, in blank-separated fields (milliseconds kept).
    std::string Fields() const;
    // What Fields wrote; nothing for any other text (the total is not read).
    static std::optional<StageTimes> FromFields(std::string_view text);
};

class StageClock {
public:
    enum class Counted { Process, Thread };
    explicit StageClock(Counted counted = Counted::Process) : counted_(counted) {}

    // Times the stage from construction to destruction.
    class Scope {
    public:
        Scope(StageClock* clock, Stage stage);
        ~Scope();
        Scope(const Scope&) = delete;
        Scope& operator=(const Scope&) = delete;

    private:
        StageClock* clock_;
        Stage stage_;
    };

    StageTimes Times() const;

private:
    void Change(Stage stage, int delta);

    const Counted counted_;
    mutable std::mutex lock_;
    double last_ = 0; // the process's CPU seconds at the last change
    std::array<int, kStages> running_{};
    int anyRunning_ = 0;
    StageTimes times_;
};

} // namespace zel::service
