#pragma once
// A throwaway PostgreSQL server for one test: a fresh cluster (initdb) in a
// temporary folder, served on a free loopback port with its socket in that
// folder, run as an unprivileged user when the test is root (the server
// refuses root). Resumed and stopped when this object goes.

#include "ChildProcess.h"
#include "ServiceTestSupport.h"

#include <memory>
#include <string>

namespace zel::service::test {

class TestPostgres {
public:
    // The folder of the installed server programs; empty when there is none.
    static std::string ServerFolder();

    // Creates the cluster and starts the server; throws std::runtime_error
    // when it cannot.
    TestPostgres();
    ~TestPostgres();

    // "postgresql://zel@127.0.0.1:<port>/postgres"
    std::string Url() const;
    // A fast shutdown, waited for.
    void Stop();
    // Starts the server again on the same port and data; waits until it answers.
    void Start();
    // Stalls the server and every process of it (SIGSTOP), as a hung
    // machine or a network that drops packets: connections are taken by
    // the kernel but nothing answers. Resume() lets it go on.
    void Pause();
    void Resume();

private:
    ChildSettings Program(const std::string& name, std::vector<std::string> arguments) const;

    TempDir folder_;
    std::string bin_;
    std::optional<uid_t> user_;
    int port_ = 0;
    std::unique_ptr<ChildProcess> server_;
};

} // namespace zel::service::test
