#include "ChildProcess.h"

#include <csignal>
#include <fcntl.h>
#include <grp.h>
#include <netinet/in.h>
#include <pwd.h>
#include <stdexcept>
#include <sys/prctl.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

extern char** environ;

namespace zel::service::test {

namespace {

std::vector<char*> Pointers(std::vector<std::string>& texts) {
    std::vector<char*> pointers;
    for (std::string& text : texts)
        pointers.push_back(text.data());
    pointers.push_back(nullptr);
    return pointers;
}

// Only async-signal-safe calls: the test process has threads.
[[noreturn]] void BecomeChild(char* const* argv, char* const* environment, int output,
                              std::optional<uid_t> user, gid_t group, pid_t parent) {
    setpgid(0, 0);
    dup2(output, STDOUT_FILENO);
    dup2(output, STDERR_FILENO);
    const int null = open("/dev/null", O_RDONLY);
    dup2(null, STDIN_FILENO);
    if (user && (setgroups(0, nullptr) != 0 || setgid(group) != 0 || setuid(*user) != 0))
        _exit(126);
    // After the change of user, which clears it.
    prctl(PR_SET_PDEATHSIG, SIGKILL);
    if (getppid() != parent)
        _exit(125);
    execve(argv[0], argv, environment);
    _exit(127);
}

} // namespace

ChildProcess::ChildProcess(const ChildSettings& settings) {
    std::vector<std::string> argv = settings.argv;
    std::vector<std::string> environment;
    for (char** entry = environ; *entry; ++entry)
        environment.emplace_back(*entry);
    environment.insert(environment.end(), settings.environment.begin(), settings.environment.end());
    const auto argvPointers = Pointers(argv);
    const auto environmentPointers = Pointers(environment);
    gid_t group = 0;
    if (settings.user) {
        const passwd* entry = getpwuid(*settings.user);
        group = entry ? entry->pw_gid : *settings.user;
    }
    const int output =
        open(settings.outputFile.c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0644);
    if (output < 0)
        throw std::runtime_error("cannot open " + settings.outputFile);
    const pid_t parent = getpid();
    pid_ = fork();
    if (pid_ == 0)
        BecomeChild(argvPointers.data(), environmentPointers.data(), output, settings.user, group,
                    parent);
    close(output);
    if (pid_ < 0)
        throw std::runtime_error("cannot start " + settings.argv.front());
    setpgid(pid_, pid_); // also here, so a signal right after start reaches the group
}

ChildProcess::~ChildProcess() {
    Kill();
}

void ChildProcess::Signal(int signal) {
    if (!ended_)
        kill(-pid_, signal);
}

bool ChildProcess::Running() {
    if (!ended_ && waitpid(pid_, nullptr, WNOHANG) == pid_)
        ended_ = true;
    return !ended_;
}

bool ChildProcess::WaitForExit(std::chrono::milliseconds limit) {
    const auto deadline = std::chrono::steady_clock::now() + limit;
    while (Running() && std::chrono::steady_clock::now() < deadline)
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    return !Running();
}

void ChildProcess::Kill() {
    if (ended_)
        return;
    kill(-pid_, SIGKILL);
    waitpid(pid_, nullptr, 0);
    ended_ = true;
}

std::optional<uid_t> UnprivilegedUser() {
    if (geteuid() != 0)
        return std::nullopt;
    const passwd* nobody = getpwnam("nobody");
    if (!nobody)
        throw std::runtime_error("no user 'nobody' to run servers as");
    return nobody->pw_uid;
}

int FreeLoopbackPort() {
    const int socket = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    if (bind(socket, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
        getsockname(socket, reinterpret_cast<sockaddr*>(&address), &length) != 0) {
        close(socket);
        throw std::runtime_error("no free loopback port");
    }
    close(socket);
    return ntohs(address.sin_port);
}

} // namespace zel::service::test
