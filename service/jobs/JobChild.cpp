#include "JobChild.h"

#include "JobOrder.h"
#include "WriteAll.h"

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <chrono>
#include <csignal>
#include <malloc.h>
#include <new>
#include <optional>
#include <sys/prctl.h>
#include <sys/resource.h>
#include <unistd.h>

namespace zel::service {

namespace {

std::string ReadAll(int fd) {
    std::string text;
    char buffer[4096];
    for (;;) {
        const ssize_t got = read(fd, buffer, sizeof buffer);
        if (got > 0)
            text.append(buffer, static_cast<std::size_t>(got));
        else if (got == 0 || errno != EINTR)
            return text;
    }
}

void WriteLine(const std::string& line) {
    if (!WriteAll(kReportDescriptor, line + "\n"))
        _exit(3); // the service is gone
}

void Limit(int resource, rlim_t soft, rlim_t hard) {
    const rlimit limit{soft, hard};
    setrlimit(resource, &limit);
}

void LimitSelf(const ProcessLimits& limits) {
    Limit(RLIMIT_CORE, 0, 0);
#if !defined(__SANITIZE_ADDRESS__)
    // AddressSanitizer reserves terabytes of address space for itself.
    if (limits.memoryBytes > 0)
        Limit(RLIMIT_AS, static_cast<rlim_t>(limits.memoryBytes),
              static_cast<rlim_t>(limits.memoryBytes));
#endif
    // The soft limit sends SIGXCPU; the hard one a second later kills.
    if (limits.cpuSeconds > 0)
        Limit(RLIMIT_CPU, static_cast<rlim_t>(limits.cpuSeconds),
              static_cast<rlim_t>(limits.cpuSeconds + 1));
    if (limits.fileBytes > 0)
        Limit(RLIMIT_FSIZE, static_cast<rlim_t>(limits.fileBytes),
              static_cast<rlim_t>(limits.fileBytes));
}

// Passes progress on, at most every 100 ms, so a page of many small
// reads does not flood the pipe.
class ProgressReporter {
public:
    void Add(std::int64_t bytes) {
        pending_ += bytes;
        const auto now = std::chrono::steady_clock::now();
        if (now - last_ >= std::chrono::milliseconds(100))
            Flush(now);
    }
    void Flush(std::chrono::steady_clock::time_point now = std::chrono::steady_clock::now()) {
        if (pending_ > 0)
            WriteLine("fetched " + std::to_string(pending_));
        pending_ = 0;
        last_ = now;
    }

private:
    std::int64_t pending_ = 0;
    std::chrono::steady_clock::time_point last_{};
};

// A detail as one bounded line of printable bytes.
std::string CleanDetail(std::string_view text) {
    std::string clean(text.substr(0, 300));
    for (char& c : clean)
        if (static_cast<unsigned char>(c) < 0x20 || c == 0x7f)
            c = ' ';
    return clean;
}

// The next blank-separated field of `rest`, taken off it.
std::string_view NextField(std::string_view& rest) {
    const std::size_t end = std::min(rest.find(' '), rest.size());
    const std::string_view field = rest.substr(0, end);
    rest.remove_prefix(std::min(end + 1, rest.size()));
    return field;
}

std::optional<std::int64_t> ByteCount(std::string_view field) {
    std::int64_t value = 0;
    const auto [end, error] = std::from_chars(field.data(), field.data() + field.size(), value);
    if (error != std::errc() || end != field.data() + field.size() || value < 0)
        return std::nullopt;
    return value;
}

PageOutcome Garbled(std::string_view line) {
    return PageOutcome::Failed(FailureKind::GarbledReport, "garbled report: " + CleanDetail(line));
}

} // namespace

std::string OutcomeLine(const PageOutcome& outcome) {
    const std::string_view token = outcome.ok ? "ok" : NameOf(outcome.failure);
    return "done " + std::string(token) + " " + std::to_string(outcome.pageBytes) + " " +
           std::to_string(outcome.archiveBytes) + " " + CleanDetail(outcome.detail);
}

PageOutcome ReadOutcomeLine(std::string_view line) {
    std::string_view rest = line;
    if (NextField(rest) != "done")
        return Garbled(line);
    const std::string_view token = NextField(rest);
    const auto pageBytes = ByteCount(NextField(rest));
    const auto archiveBytes = ByteCount(NextField(rest));
    const auto failure = FailureNamed(token);
    if (!pageBytes || !archiveBytes || (token != "ok" && !failure))
        return Garbled(line);
    return {token == "ok",     *pageBytes, *archiveBytes, failure.value_or(FailureKind::JobFailed),
            CleanDetail(rest), {}};
}

int RunJobChild(const PageMakerFunction& makePage) {
    // Die with the service rather than run on unwatched.
    prctl(PR_SET_PDEATHSIG, SIGKILL);
    const auto order = DecodeJobOrder(ReadAll(STDIN_FILENO));
    if (!order)
        return 2;
    // Each thread's malloc arena reserves 64 MiB of address space; image
    // decoders run several threads, which would count against the memory
    // limit long before any real use.
    mallopt(M_ARENA_MAX, 2);
    LimitSelf(order->process);

    ProgressReporter progress;
    PageOutcome outcome;
    try {
        outcome = makePage(order->request, order->limits, order->archivePath,
                           [&](std::int64_t bytes) { progress.Add(bytes); });
    } catch (const std::bad_alloc&) {
        outcome = PageOutcome::Failed(FailureKind::OutOfMemory);
    } catch (const std::exception& error) {
        outcome = PageOutcome::Failed(FailureKind::JobFailed, error.what());
    } catch (...) {
        outcome = PageOutcome::Failed(FailureKind::JobFailed, "the page maker threw");
    }
    progress.Flush();
    if (outcome.ok)
        WriteLine("stages " + outcome.stages.Fields());
    WriteLine(OutcomeLine(outcome));
    return 0;
}

} // namespace zel::service
