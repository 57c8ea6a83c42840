#include "ServiceProcess.h"

#include <csignal>
#include <fcntl.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

namespace zel::service::test {

namespace {
// The line the service writes once it listens.
const std::string ServingOn = "zelservice: serving on 127.0.0.1:";
} // namespace

ServiceProcess::ServiceProcess(std::filesystem::path dataFolder)
    : dataFolder_(dataFolder.empty() ? ownFolder_.Path() : std::move(dataFolder)) {}

ServiceProcess::~ServiceProcess() {
    Stop();
}

bool ServiceProcess::Start(const std::string& program, const std::vector<std::string>& options,
                           std::chrono::milliseconds limit) {
    Stop();
    {
        std::lock_guard lock(mutex_);
        output_.clear();
    }
    port_ = 0;
    std::vector<std::string> words{program, "--listen", "127.0.0.1", "--port",
                                   "0",     "--data",   DataFolder()};
    words.insert(words.end(), options.begin(), options.end());
    std::vector<char*> argv;
    for (std::string& word : words)
        argv.push_back(word.data());
    argv.push_back(nullptr);

    int pipeFds[2];
    if (pipe2(pipeFds, O_CLOEXEC) != 0)
        return false;
    const int nullFd = open("/dev/null", O_RDWR | O_CLOEXEC);
    const pid_t parent = getpid();
    pid_ = fork();
    if (pid_ == 0) {
        // Only calls that are safe after fork in a threaded process.
        prctl(PR_SET_PDEATHSIG, SIGTERM);
        if (getppid() != parent)
            _exit(127);
        dup2(nullFd, 0);
        dup2(nullFd, 1);
        dup2(pipeFds[1], 2);
        execv(argv[0], argv.data());
        _exit(127);
    }
    close(pipeFds[1]);
    close(nullFd);
    if (pid_ < 0) {
        close(pipeFds[0]);
        return false;
    }
    reader_ = std::thread([this, fd = pipeFds[0]] { ReadOutput(fd); });

    const auto deadline = std::chrono::steady_clock::now() + limit;
    while (std::chrono::steady_clock::now() < deadline && Running()) {
        const std::string seen = Output();
        const std::size_t at = seen.find(ServingOn);
        if (at != std::string::npos && seen.find(',', at) != std::string::npos) {
            port_ = std::stoi(seen.substr(at + ServingOn.size()));
            return port_ > 0;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    return false;
}

void ServiceProcess::ReadOutput(int fd) {
    char buffer[4096];
    for (;;) {
        const ssize_t got = read(fd, buffer, sizeof buffer);
        if (got < 0 && errno == EINTR)
            continue;
        if (got <= 0)
            break;
        std::lock_guard lock(mutex_);
        output_.append(buffer, static_cast<std::size_t>(got));
    }
    close(fd);
}

bool ServiceProcess::Running() {
    if (pid_ <= 0)
        return false;
    if (waitpid(pid_, &status_, WNOHANG) == pid_)
        pid_ = -1;
    return pid_ > 0;
}

bool ServiceProcess::Reap(std::chrono::milliseconds limit) {
    const auto deadline = std::chrono::steady_clock::now() + limit;
    while (Running() && std::chrono::steady_clock::now() < deadline)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    return !Running();
}

bool ServiceProcess::Stop(std::chrono::milliseconds limit) {
    bool clean = false;
    if (Running()) {
        kill(pid_, SIGTERM);
        if (!Reap(limit))
            Kill();
    }
    clean = pid_ < 0 && WIFEXITED(status_) && WEXITSTATUS(status_) == 0;
    if (reader_.joinable())
        reader_.join();
    return clean;
}

void ServiceProcess::Kill() {
    if (!Running())
        return;
    kill(pid_, SIGKILL);
    waitpid(pid_, &status_, 0);
    pid_ = -1;
    if (reader_.joinable())
        reader_.join();
}

void ServiceProcess::Signal(int signal) {
    if (Running())
        kill(pid_, signal);
}

std::string ServiceProcess::Base() const {
    return "http://127.0.0.1:" + std::to_string(port_);
}

std::string ServiceProcess::Output() {
    std::lock_guard lock(mutex_);
    return output_;
}

bool ServiceProcess::WaitForOutput(const std::string& text, std::chrono::milliseconds limit) {
    const auto deadline = std::chrono::steady_clock::now() + limit;
    while (Output().find(text) == std::string::npos) {
        if (std::chrono::steady_clock::now() >= deadline)
            return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    return true;
}

} // namespace zel::service::test
