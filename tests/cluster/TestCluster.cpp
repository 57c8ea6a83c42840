#include "TestCluster.h"

#include <csignal>
#include <regex>
#include <stdexcept>
#include <thread>

namespace fs = std::filesystem;
using namespace std::chrono_literals;

namespace zel::service::test {

namespace {

constexpr int kConfiguredNodes = 3;

std::string Loopback(int port) {
    return "127.0.0.1:" + std::to_string(port);
}

} // namespace

bool WaitUntil(const std::function<bool()>& done, std::chrono::seconds limit) {
    const auto deadline = std::chrono::steady_clock::now() + limit;
    while (!done()) {
        if (std::chrono::steady_clock::now() > deadline)
            return false;
        std::this_thread::sleep_for(100ms);
    }
    return true;
}

TestCluster::TestCluster(int nodes, std::vector<std::string> nodeOptions)
    : nodeOptions_(std::move(nodeOptions)), nodes_(kConfiguredNodes) {
    origin_.Start();
    const int cachePort = FreeLoopbackPort();
    cacheServer_ = std::make_unique<ChildProcess>(ChildSettings{
        {"/usr/bin/redis-server", "--port", std::to_string(cachePort), "--bind", "127.0.0.1",
         "--save", "", "--appendonly", "no", "--dir", folder_.Path().string()},
        {},
        (folder_.Path() / "redis.log").string(),
        {}});
    nodeOptions_.insert(nodeOptions_.begin(), "--cache-server=redis://" + Loopback(cachePort));
    for (int node = 0; node < kConfiguredNodes; ++node)
        nodePorts_.push_back(FreeLoopbackPort());
    for (int node = 0; node < nodes; ++node)
        StartNode(node);

    balancerPort_ = FreeLoopbackPort();
    std::vector<std::string> environment = {"ZEL_LISTEN=" + Loopback(balancerPort_)};
    for (int node = 0; node < kConfiguredNodes; ++node)
        environment.push_back("ZEL_NODE" + std::to_string(node + 1) + "=" +
                              Loopback(nodePorts_[node]));
    balancer_ = std::make_unique<ChildProcess>(
        ChildSettings{{"/usr/sbin/haproxy", "-db", "-f", ZEL_HAPROXY_CONFIG},
                      environment,
                      (folder_.Path() / "haproxy.log").string(),
                      {}});
    // Up once it answers; its health checks then need two rounds to count a
    // node that is not there as down.
    if (!WaitUntil([&] { return Get(balancerPort_, "/zel/health").status == 404; }, 60s))
        throw std::runtime_error("HAProxy did not start: see " +
                                 (folder_.Path() / "haproxy.log").string());
    std::this_thread::sleep_for(3s);
}

fs::path TestCluster::NodeFolder(int node) const {
    return folder_.Path() / ("node" + std::to_string(node + 1));
}

void TestCluster::StartNode(int node) {
    std::vector<std::string> argv = {ZELSERVICE_PROGRAM, "--port", std::to_string(nodePorts_[node]),
                                     "--data", NodeFolder(node).string(), "--accounts",
                                     database_.Url(), "--allow-private-origins",
                                     // HAProxy reaches the nodes from here.
                                     "--trusted-proxy", "127.0.0.1"};
    argv.insert(argv.end(), nodeOptions_.begin(), nodeOptions_.end());
    nodes_[node] = std::make_unique<ChildProcess>(
        ChildSettings{argv, {}, (folder_.Path() / "nodes.log").string(), {}});
    if (!WaitUntil([&] { return Get(nodePorts_[node], "/zel/health").status == 200; }, 60s))
        throw std::runtime_error("node " + std::to_string(node + 1) + " did not start: see " +
                                 (folder_.Path() / "nodes.log").string());
}

void TestCluster::KillNode(int node) {
    nodes_[node]->Kill();
}

std::string TestCluster::MakeLogin(int node, const std::string& mail) {
    const std::string reply = Get(nodePorts_[node], "/zel/login?comp=test&mail=" + mail).body;
    std::smatch match;
    if (!std::regex_match(reply, match, std::regex("OK,Your login is ([a-z0-9]+) - .*")))
        throw std::runtime_error("no login: " + reply);
    return match[1];
}

int TestCluster::NodeOf(const std::string& login) const {
    for (int node = 0; node < kConfiguredNodes; ++node)
        if (fs::exists(NodeFolder(node) / "archives" / (login + ".zip")))
            return node;
    return -1;
}

} // namespace zel::service::test
