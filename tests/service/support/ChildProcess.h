#pragma once
// A program a test starts: in a process group of its own (so what it starts
// ends with it), killed by the system should the test process die, its
// output appended to a file. Killed with its group when this object goes.

#include <chrono>
#include <optional>
#include <string>
#include <sys/types.h>
#include <vector>

namespace zel::service::test {

struct ChildSettings {
    std::vector<std::string> argv;
    std::vector<std::string> environment; // "NAME=value", added to this process's
    std::string outputFile;               // standard output and error
    std::optional<uid_t> user;            // run as this user (and its group) when root
};

class ChildProcess {
public:
    // Throws std::runtime_error when the program cannot be started.
    explicit ChildProcess(const ChildSettings& settings);
    ~ChildProcess();
    ChildProcess(const ChildProcess&) = delete;
    ChildProcess& operator=(const ChildProcess&) = delete;

    // Sends `signal` to the whole group.
    void Signal(int signal);
    // Waits up to `limit` for the program to end; true when it has.
    bool WaitForExit(std::chrono::milliseconds limit);
    // SIGKILL to the group, then waits.
    void Kill();
    bool Running();
    pid_t Pid() const { return pid_; }

private:
    pid_t pid_ = -1;
    bool ended_ = false;
};

// The unprivileged user a root test runs servers as ("nobody"); empty when
// the test is not root.
std::optional<uid_t> UnprivilegedUser();
// A TCP port free on 127.0.0.1 right now.
int FreeLoopbackPort();

} // namespace zel::service::test
