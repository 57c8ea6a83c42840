#include "ChildJobRunner.h"

#include "JobChild.h"
#include "WriteAll.h"

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <csignal>
#include <cstdlib>
#include <fcntl.h>
#include <optional>
#include <poll.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

namespace zel::service {

using Clock = std::chrono::steady_clock;

namespace {

// A pipe whose ends close themselves.
struct Pipe {
    int read = -1;
    int write = -1;
    Pipe() {
        int ends[2];
        if (pipe2(ends, O_CLOEXEC) == 0) {
            read = ends[0];
            write = ends[1];
        }
    }
    ~Pipe() {
        CloseRead();
        CloseWrite();
    }
    Pipe(const Pipe&) = delete;
    Pipe& operator=(const Pipe&) = delete;
    bool Ok() const { return read >= 0; }
    void CloseRead() {
        if (read >= 0)
            close(read);
        read = -1;
    }
    void CloseWrite() {
        if (write >= 0)
            close(write);
        write = -1;
    }
};

// The descriptors a lent browser's pipe has in the child.
constexpr BrowserLink kChildBrowserLink{kReportDescriptor + 1, kReportDescriptor + 2};

// A browser of the pool, lent to one job for as long as it runs.
class LentBrowser {
public:
    explicit LentBrowser(RendererPool& pool) : pool_(pool), lease_(pool.Borrow()) {}
    ~LentBrowser() { pool_.Return(lease_); }
    LentBrowser(const LentBrowser&) = delete;
    LentBrowser& operator=(const LentBrowser&) = delete;
    const RendererPool::Lease& Lease() const { return lease_; }
    // Checked every half second at most: a look at every process's size.
    void KillWhenTooBig() {
        const auto now = Clock::now();
        if (!lease_ || now < nextCheck_)
            return;
        nextCheck_ = now + std::chrono::milliseconds(500);
        pool_.KillWhenTooBig(lease_);
    }

private:
    RendererPool& pool_;
    RendererPool::Lease lease_;
    Clock::time_point nextCheck_{};
};

// Starts the child with the order pipe as its standard input, the report pipe
// as descriptor 3, a lent browser's pipe as 4 and 5, standard output sent to
// standard error, no other descriptor of the service (its sockets must close
// when the service closes them), default signal handling and no blocked
// signals. -1 on failure.
pid_t SpawnChild(const std::string& executable, const Pipe& order, const Pipe& report,
                 const RendererPool::Lease& browser) {
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, order.read, STDIN_FILENO);
    posix_spawn_file_actions_adddup2(&actions, STDERR_FILENO, STDOUT_FILENO);
    posix_spawn_file_actions_adddup2(&actions, report.write, kReportDescriptor);
    if (browser) {
        // The pool's descriptors are 10 and above: none is overwritten here.
        posix_spawn_file_actions_adddup2(&actions, browser.link.commands,
                                         kChildBrowserLink.commands);
        posix_spawn_file_actions_adddup2(&actions, browser.link.events, kChildBrowserLink.events);
    }
    posix_spawn_file_actions_addclosefrom_np(&actions, browser ? kChildBrowserLink.events + 1
                                                               : kReportDescriptor + 1);

    posix_spawnattr_t attributes;
    posix_spawnattr_init(&attributes);
    sigset_t none;
    sigemptyset(&none);
    posix_spawnattr_setsigmask(&attributes, &none);
    sigset_t defaults;
    sigfillset(&defaults);
    posix_spawnattr_setsigdefault(&attributes, &defaults);
    posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF);

    std::string program = executable;
    std::string command = kJobCommand;
    char* argv[] = {program.data(), command.data(), nullptr};
    pid_t pid = -1;
    const int error = posix_spawn(&pid, executable.c_str(), &actions, &attributes, argv, environ);
    posix_spawn_file_actions_destroy(&actions);
    posix_spawnattr_destroy(&attributes);
    return error == 0 ? pid : -1;
}

// Reads the child's report lines as they come. The child may have gone
// wrong: a line that does not read is dropped, one that never ends is a
// garbled report, and the first outcome counts.
class ReportReader {
public:
    explicit ReportReader(const std::function<void(std::int64_t)>& onFetched)
        : onFetched_(onFetched) {}

    void Add(const char* data, std::size_t size) {
        buffer_.append(data, size);
        for (std::size_t end = buffer_.find('\n'); end != std::string::npos;
             end = buffer_.find('\n')) {
            Line(std::string_view(buffer_).substr(0, end));
            buffer_.erase(0, end + 1);
        }
        if (buffer_.size() > kLongestLine) {
            Take(PageOutcome::Failed(FailureKind::GarbledReport, "a report line without end"));
            buffer_.clear();
        }
    }
    bool HasOutcome() const { return done_; }
    const PageOutcome& Outcome() const { return outcome_; }

private:
    static constexpr std::size_t kLongestLine = 4096;

    void Line(std::string_view line) {
        constexpr std::string_view fetched = "fetched ";
        if (line.starts_with(fetched)) {
            std::int64_t bytes = 0;
            const std::string_view count = line.substr(fetched.size());
            const auto [end, error] = std::from_chars(count.begin(), count.end(), bytes);
            if (error == std::errc() && end == count.end() && bytes > 0)
                onFetched_(bytes);
        } else if (line.starts_with("stages ")) {
            stages_ = StageTimes::FromFields(line.substr(7)).value_or(StageTimes{});
        } else if (line.starts_with("done ")) {
            Take(ReadOutcomeLine(line));
        }
    }
    void Take(PageOutcome outcome) {
        if (!done_) {
            outcome_ = std::move(outcome);
            if (outcome_.ok)
                outcome_.stages = stages_;
        }
        done_ = true;
    }

    const std::function<void(std::int64_t)>& onFetched_;
    std::string buffer_;
    StageTimes stages_; // told before the outcome
    bool done_ = false;
    PageOutcome outcome_;
};

// What became of a child that gave no outcome.
PageOutcome FromExitStatus(int status) {
    if (WIFSIGNALED(status)) {
        switch (WTERMSIG(status)) {
        case SIGXCPU:
            return PageOutcome::Failed(FailureKind::CpuTime);
        case SIGXFSZ:
            return PageOutcome::Failed(FailureKind::TooBig);
        default:
            return PageOutcome::Failed(FailureKind::JobFailed,
                                       "the job child ended by signal " +
                                           std::to_string(WTERMSIG(status)));
        }
    }
    return PageOutcome::Failed(FailureKind::JobFailed, "the job child gave no outcome, exit code " +
                                                           std::to_string(WEXITSTATUS(status)));
}

// Reaps the child; one that lingers after closing its report pipe is killed
// at the deadline.
int WaitForExit(pid_t pid, Clock::time_point deadline) {
    int status = 0;
    for (;;) {
        const pid_t done = waitpid(pid, &status, WNOHANG);
        if (done == pid || (done < 0 && errno != EINTR))
            return status;
        if (Clock::now() >= deadline)
            kill(pid, SIGKILL);
        usleep(5000);
    }
}

} // namespace

ChildJobRunner::ChildJobRunner(ChildJobSettings settings)
    : settings_(std::move(settings)),
      renderers_(settings_.limits.render == RenderMode::Never ? RendererSettings{}
                                                              : settings_.renderers) {}

PageOutcome ChildJobRunner::Run(const PageRequest& request, const std::string& archivePath,
                                const std::function<void(std::int64_t bytes)>& onFetched,
                                const std::atomic<bool>& cancelled) {
    const auto deadline = Clock::now() + settings_.wallTime;
    LentBrowser browser(renderers_);
    // The request as the child gets it: with a lent browser the page is
    // another one, kept under another recipe.
    PageRequest sent = request;
    if (browser.Lease())
        sent.renderer = kChildBrowserLink;
    if (settings_.keptPage) {
        const auto stop = [&] { return cancelled || Clock::now() >= deadline; };
        if (auto kept = settings_.keptPage(settings_.executable, sent, settings_.limits,
                                           archivePath, onFetched, stop))
            return *kept;
        if (cancelled)
            return PageOutcome::Failed(FailureKind::Replaced);
    }
    Pipe order, report;
    if (!order.Ok() || !report.Ok())
        return PageOutcome::Failed(FailureKind::Busy);
    const pid_t pid = SpawnChild(settings_.executable, order, report, browser.Lease());
    if (pid < 0)
        return PageOutcome::Failed(FailureKind::Busy);
    order.CloseRead();
    report.CloseWrite();
    WriteAll(order.write, EncodeJobOrder({sent, settings_.limits, settings_.process, archivePath}));
    order.CloseWrite();

    ReportReader reader(onFetched);
    std::optional<FailureKind> killedFor;
    for (;;) {
        if (cancelled) {
            killedFor = FailureKind::Replaced;
            break;
        }
        const auto left =
            std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
        if (left.count() <= 0) {
            killedFor = FailureKind::WallTime;
            break;
        }
        // Beyond its bound the browser is killed; the job goes on without it.
        browser.KillWhenTooBig();
        pollfd watch{report.read, POLLIN, 0};
        const int ready = poll(&watch, 1, static_cast<int>(std::min<long long>(left.count(), 100)));
        if (ready <= 0)
            continue;
        char buffer[4096];
        const ssize_t got = read(report.read, buffer, sizeof buffer);
        if (got > 0)
            reader.Add(buffer, static_cast<std::size_t>(got));
        else if (got == 0 || errno != EINTR)
            break; // the child closed its end: it is ending
    }
    if (killedFor)
        kill(pid, SIGKILL);
    const int status = WaitForExit(pid, deadline);
    if (killedFor)
        return PageOutcome::Failed(*killedFor);
    if (reader.HasOutcome())
        return reader.Outcome();
    return FromExitStatus(status);
}

} // namespace zel::service
