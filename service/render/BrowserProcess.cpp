#include "BrowserProcess.h"

#include "DevToolsPipe.h"
#include "RenderFailure.h"

#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

extern char** environ;

namespace zel::service {
namespace {

// The browser's own connections go to this closed port (the discard port on
// loopback, where nothing listens); "<-loopback>" sends loopback addresses
// there too, which Chromium would otherwise connect to directly.
constexpr const char* kNowhereProxy = "--proxy-server=http://127.0.0.1:9";

std::vector<std::string> Arguments(const std::string& executable, const std::string& profile) {
    std::vector<std::string> arguments{
        executable, "--headless=new", "--remote-debugging-pipe", "--user-data-dir=" + profile,
        "--disable-gpu", "--no-first-run", "--no-default-browser-check", kNowhereProxy,
        "--proxy-bypass-list=<-loopback>", "--disable-background-networking",
        "--disable-component-update", "--disable-sync", "--disable-extensions",
        "--disable-breakpad", "--disable-dev-shm-usage", "--mute-audio",
        "--force-webrtc-ip-handling-policy=disable_non_proxied_udp",
        "--webrtc-ip-handling-policy=disable_non_proxied_udp",
        // Less memory: no spare renderer, back-forward cache or services a
        // page never needs; a page's script heap bounded (one beyond it
        // crashes its renderer, and the job goes on from the markup).
        "--disable-features=ServiceWorker,WebRtcHideLocalIpsWithMdns,"
        "IsolateOrigins,site-per-process,SpareRendererForSitePerProcess,BackForwardCache,"
        "Translate,MediaRouter,OptimizationHints,PaintHolding",
        "--js-flags=--max-old-space-size=192 --max-semi-space-size=2", "--renderer-process-limit=1",
        // One renderer process for a page and its frames: the
        // requests of every frame are then the page's to answer.
        "--disable-site-isolation-trials", "--window-size=1280,800", "about:blank"};
    // Chromium's sandbox needs an unprivileged user: as root (a developer's
    // container, the tests there) it refuses to start with it. The packaged
    // service runs as its own system user and keeps the sandbox.
    if (geteuid() == 0)
        arguments.insert(arguments.begin() + 1, "--no-sandbox");
    return arguments;
}

// A descriptor at 10 or above: the job child's descriptors 0 to 5 are set
// from others, and none of those may be overwritten before it is copied.
int HighDescriptor(int fd) {
    const int high = fcntl(fd, F_DUPFD_CLOEXEC, 10);
    close(fd);
    return high;
}

} // namespace

BrowserProcess::BrowserProcess(const std::string& executable) {
    char pattern[] = "/tmp/zel-renderer-XXXXXX";
    if (mkdtemp(pattern) == nullptr)
        throw RenderFailure("no folder for the renderer's profile");
    profile_ = pattern;
    int toBrowser[2], fromBrowser[2];
    if (pipe2(toBrowser, O_CLOEXEC) != 0)
        throw RenderFailure("no pipe for the renderer");
    if (pipe2(fromBrowser, O_CLOEXEC) != 0) {
        close(toBrowser[0]);
        close(toBrowser[1]);
        throw RenderFailure("no pipe for the renderer");
    }
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_adddup2(&actions, toBrowser[0], 3);
    posix_spawn_file_actions_adddup2(&actions, fromBrowser[1], 4);
    posix_spawn_file_actions_addclosefrom_np(&actions, 5);
    posix_spawnattr_t attributes;
    posix_spawnattr_init(&attributes);
    sigset_t none, all;
    sigemptyset(&none);
    sigfillset(&all);
    posix_spawnattr_setsigmask(&attributes, &none);
    posix_spawnattr_setsigdefault(&attributes, &all);
    posix_spawnattr_setpgroup(&attributes, 0);
    posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF |
                                              POSIX_SPAWN_SETPGROUP);
    std::vector<std::string> arguments = Arguments(executable, profile_);
    std::vector<char*> argv;
    for (std::string& argument : arguments)
        argv.push_back(argument.data());
    argv.push_back(nullptr);
    const int error =
        posix_spawnp(&pid_, executable.c_str(), &actions, &attributes, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    posix_spawnattr_destroy(&attributes);
    close(toBrowser[0]);
    close(fromBrowser[1]);
    commands_ = HighDescriptor(toBrowser[1]);
    events_ = HighDescriptor(fromBrowser[0]);
    if (error != 0) {
        pid_ = -1;
        throw RenderFailure("cannot start " + executable);
    }
}

BrowserProcess::~BrowserProcess() {
    Kill();
    if (commands_ >= 0)
        close(commands_);
    if (events_ >= 0)
        close(events_);
    std::error_code ignored;
    std::filesystem::remove_all(profile_, ignored);
}

bool BrowserProcess::Running() {
    if (pid_ < 0)
        return false;
    int status = 0;
    if (waitpid(pid_, &status, WNOHANG) == pid_) {
        kill(-pid_, SIGKILL); // what it started goes with it
        pid_ = -1;
        return false;
    }
    return true;
}

bool BrowserProcess::Ready(std::chrono::steady_clock::time_point deadline) {
    if (ready_ || !Running())
        return ready_;
    try {
        DevToolsPipe pipe(Link(), nextId_++);
        pipe.Call("Browser.getVersion", nlohmann::json::object(), deadline);
        ready_ = true;
    } catch (const RenderFailure&) {
        // Not yet: a later answer is skipped by whoever reads next.
    }
    return ready_;
}

void BrowserProcess::Kill() {
    if (pid_ < 0)
        return;
    kill(-pid_, SIGKILL);
    int status = 0;
    while (waitpid(pid_, &status, 0) < 0 && errno == EINTR) {
    }
    pid_ = -1;
}

// The processes share much of their memory (the program, shared memory
// between them): each counts its proportional share, so the sum is what
// they hold together.
std::int64_t BrowserProcess::ResidentBytes() const {
    if (pid_ < 0)
        return 0;
    std::int64_t kilobytes = 0;
    std::error_code error;
    for (const auto& entry : std::filesystem::directory_iterator("/proc", error)) {
        const std::string name = entry.path().filename().string();
        if (name.empty() || name.find_first_not_of("0123456789") != std::string::npos)
            continue;
        if (getpgid(std::atoi(name.c_str())) != pid_)
            continue;
        std::ifstream rollup(entry.path() / "smaps_rollup");
        for (std::string line; std::getline(rollup, line);)
            if (line.rfind("Pss:", 0) == 0)
                kilobytes += std::atoll(line.c_str() + 4);
    }
    return kilobytes * 1024;
}

} // namespace zel::service
