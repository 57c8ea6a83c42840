#pragma once
// The real compressing service for one test: the zelservice program started
// as a child process on a free loopback port with a fresh data folder. It is
// stopped when this object goes (SIGTERM, then SIGKILL), also when a test
// fails half-way; should the test process itself die, the system ends the
// service too (parent-death signal).

#include <QProcess>
#include <QTemporaryDir>

#include <string>
#include <vector>

namespace zel::test {

class ServiceProcess {
public:
    ServiceProcess() = default;
    ~ServiceProcess();
    ServiceProcess(const ServiceProcess&) = delete;
    ServiceProcess& operator=(const ServiceProcess&) = delete;

    // Starts `program` with "--port 0 --data <fresh folder>" and `options`,
    // and waits up to `limitMs` for it to name its port. False when it does
    // not; Output() then tells why.
    bool Start(const std::string& program, const std::vector<std::string>& options,
               int limitMs = 20000);
    // SIGTERM, and SIGKILL after `limitMs`; true when it ended by itself
    // with exit code 0.
    bool Stop(int limitMs = 10000);
    bool Running() const { return process_.state() != QProcess::NotRunning; }

    int Port() const { return port_; }
    // "http://127.0.0.1:<port>"
    std::string Base() const;
    std::string DataFolder() const { return data_.path().toStdString(); }
    // What the service wrote to its standard error so far.
    std::string Output();

private:
    QProcess process_;
    QTemporaryDir data_;
    std::string output_;
    int port_ = 0;
};

} // namespace zel::test
