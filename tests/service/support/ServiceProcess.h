#pragma once
// The real compressing service for one test: the zelservice program started
// as a child process on a free loopback port with a data folder of its own,
// which outlives restarts of the process. It is stopped when this object
// goes (SIGTERM, then SIGKILL), also when a test fails half-way; should the
// test process itself die, the system ends the service too (parent-death
// signal). Plain POSIX, so the service's own tests need no Qt.

#include "ServiceTestSupport.h"

#include <chrono>
#include <filesystem>
#include <mutex>
#include <string>
#include <sys/types.h>
#include <thread>
#include <vector>

namespace zel::service::test {

class ServiceProcess {
public:
    // `dataFolder`: where the service keeps its data; empty: a fresh
    // temporary folder of this object's own.
    explicit ServiceProcess(std::filesystem::path dataFolder = {});
    ~ServiceProcess();
    ServiceProcess(const ServiceProcess&) = delete;
    ServiceProcess& operator=(const ServiceProcess&) = delete;

    // Starts `program` with "--listen 127.0.0.1 --port 0 --data <folder>" and
    // `options`, and waits up to `limit` for it to name its port. False when
    // it does not; Output() then tells why.
    bool Start(const std::string& program, const std::vector<std::string>& options,
               std::chrono::milliseconds limit = std::chrono::seconds(20));
    // SIGTERM, and SIGKILL after `limit`; true when it ended by itself with
    // exit code 0.
    bool Stop(std::chrono::milliseconds limit = std::chrono::seconds(10));
    // SIGKILL, as a crash or an operator's kill -9 would end it.
    void Kill();
    void Signal(int signal);
    bool Running();

    int Port() const { return port_; }
    // "http://127.0.0.1:<port>"
    std::string Base() const;
    std::string DataFolder() const { return dataFolder_.string(); }
    // What the service wrote to its standard error so far.
    std::string Output();
    // Whether `text` shows in the output within `limit`: the service may
    // have written it before the reply that led to it came, yet it reaches
    // the output through a pipe and a reader thread.
    bool WaitForOutput(const std::string& text,
                       std::chrono::milliseconds limit = std::chrono::seconds(10));

private:
    bool Reap(std::chrono::milliseconds limit);
    void ReadOutput(int fd);

    TempDir ownFolder_;
    std::filesystem::path dataFolder_;
    pid_t pid_ = -1;
    int status_ = 0;
    int port_ = 0;
    std::thread reader_;
    std::mutex mutex_;
    std::string output_;
};

} // namespace zel::service::test
