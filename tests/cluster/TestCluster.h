#pragma once
// The service on several machines, on this one: a throwaway PostgreSQL
// server, zelservice nodes sharing it and a Redis server as their cache,
// HAProxy with the shipped configuration in front, and a web origin, all on
// free loopback ports.
// Everything is stopped when this object goes, also when a test fails.

#include "ChildProcess.h"
#include "OriginServer.h"
#include "ServiceTestSupport.h"
#include "TestPostgres.h"

#include <filesystem>
#include <memory>
#include <string>
#include <vector>

namespace zel::service::test {

class TestCluster {
public:
    // `nodes` of the configuration's three run; the others are down from the
    // start. `nodeOptions` are added to every node's command line.
    explicit TestCluster(int nodes = 3, std::vector<std::string> nodeOptions = {});

    int BalancerPort() const { return balancerPort_; }
    int NodePort(int node) const { return nodePorts_.at(node); }
    std::filesystem::path NodeFolder(int node) const;
    OriginServer& Origin() { return origin_; }
    TestPostgres& Database() { return database_; }

    // A new login made at `node`'s own port.
    std::string MakeLogin(int node, const std::string& mail);
    // The node holding the login's last archive; -1 when none does.
    int NodeOf(const std::string& login) const;
    // Kills the node and everything it started, as when its machine dies.
    void KillNode(int node);
    // Starts the node; waits until it answers its health check.
    void StartNode(int node);

private:
    TempDir folder_;
    OriginServer origin_;
    TestPostgres database_;
    std::unique_ptr<ChildProcess> cacheServer_;
    std::vector<std::string> nodeOptions_;
    std::vector<int> nodePorts_;
    std::vector<std::unique_ptr<ChildProcess>> nodes_;
    int balancerPort_ = 0;
    std::unique_ptr<ChildProcess> balancer_;
};

// Waits up to `limit` for `done`, checking every 100 ms.
bool WaitUntil(const std::function<bool()>& done, std::chrono::seconds limit);

} // namespace zel::service::test
