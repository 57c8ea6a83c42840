#include "JobChild.h"

#include "JobOrder.h"
#include "Replies.h"
#include "WriteAll.h"

#include <cerrno>
#include <chrono>
#include <csignal>
#include <malloc.h>
#include <new>
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

std::string DoneLine(const PageOutcome& outcome) {
    std::string error = outcome.error;
    for (char& c : error)
        if (c == '\n' || c == '\r')
            c = ' ';
    return "done " + std::string(outcome.ok ? "1 " : "0 ") + std::to_string(outcome.pageBytes) +
           " " + std::to_string(outcome.archiveBytes) + " " + error;
}

} // namespace

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
        outcome = {false, texts::kMemory, 0, 0};
    } catch (...) {
        outcome = {false, texts::kJobFailed, 0, 0};
    }
    progress.Flush();
    WriteLine(DoneLine(outcome));
    return 0;
}

} // namespace zel::service
