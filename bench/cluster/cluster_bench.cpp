// Pages a second through HAProxy with 1, 2 and 3 service nodes on this
// machine, and the 95th percentile of the time from asking for a page to its
// archive being ready. Each page holds two photos to shrink, made anew each
// time (the cache off). Then, with the cache the nodes share, one page asked
// at each node in turn: made at the first, warm at the others. The last line
// is the throughput of 3 nodes against 1 node. With --shared-cache only the
// shared cache is shown.

#include "TestCluster.h"
#include "TestImages.h"

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <string>
#include <thread>

using namespace zel::service::test;
using Clock = std::chrono::steady_clock;

namespace {

constexpr int kPages = 90;
constexpr int kClients = 8;

struct Round {
    double pagesPerSecond = 0;
    double p95Seconds = 0;
    int failed = 0;
};

Round Measure(int nodes) {
    TestCluster cluster(nodes, {"--logins-per-client=100000", "--cache=off"});
    const std::string photo = MakePhoto(800, 600);
    cluster.Origin().Serve("/a.jpg", photo, "image/jpeg");
    cluster.Origin().Serve("/b.jpg", photo, "image/jpeg");
    cluster.Origin().Serve("/page", "<html><body><img src=a.jpg><img src=b.jpg></body></html>",
                           "text/html");
    const std::string url = cluster.Origin().Url("/page");
    std::vector<std::string> logins;
    for (int i = 0; i < kPages; ++i)
        logins.push_back(
            cluster.MakeLogin(i % nodes, "bench" + std::to_string(i) + "@example.org"));

    std::vector<double> seconds(kPages);
    std::atomic<int> next{0};
    std::atomic<int> failed{0};
    const auto start = Clock::now();
    std::vector<std::thread> clients;
    for (int c = 0; c < kClients; ++c)
        clients.emplace_back([&] {
            for (int i = next++; i < kPages; i = next++) {
                const auto asked = Clock::now();
                if (AskForPage(cluster.BalancerPort(), logins[i], url).rfind("OK,", 0) != 0)
                    ++failed;
                seconds[i] = std::chrono::duration<double>(Clock::now() - asked).count();
            }
        });
    for (std::thread& client : clients)
        client.join();
    const double total = std::chrono::duration<double>(Clock::now() - start).count();
    std::sort(seconds.begin(), seconds.end());
    return {kPages / total, seconds[kPages * 95 / 100], failed};
}

double SecondsToReady(TestCluster& cluster, int node, const std::string& url) {
    const std::string login = cluster.MakeLogin(node, "warm" + std::to_string(node) + "@a.org");
    const auto asked = Clock::now();
    AskForPage(cluster.NodePort(node), login, url);
    return std::chrono::duration<double>(Clock::now() - asked).count();
}

void ShowSharedCache() {
    TestCluster cluster(3);
    const std::map<std::string, std::string> fresh = {{"Cache-Control", "max-age=3600"}};
    cluster.Origin().Serve("/a.jpg", MakePhoto(1600, 1200), "image/jpeg", fresh);
    cluster.Origin().Serve("/b.jpg", MakePhoto(1200, 1600), "image/jpeg", fresh);
    cluster.Origin().Serve("/page", "<html><body><img src=a.jpg><img src=b.jpg></body></html>",
                           "text/html");
    const std::string url = cluster.Origin().Url("/page");
    std::printf("shared cache: made at node 1 in %.2f s", SecondsToReady(cluster, 0, url));
    for (int node = 1; node < 3; ++node)
        std::printf(", warm at node %d in %.2f s", node + 1, SecondsToReady(cluster, node, url));
    std::printf("; the origin sent the photos %d time(s)\n",
                (cluster.Origin().Hits("/a.jpg") + cluster.Origin().Hits("/b.jpg")) / 2);
}

} // namespace

int main(int argc, char** argv) {
    if (argc > 1 && std::string(argv[1]) == "--shared-cache") {
        ShowSharedCache();
        return 0;
    }
    std::vector<Round> rounds;
    for (int nodes = 1; nodes <= 3; ++nodes) {
        rounds.push_back(Measure(nodes));
        const Round& round = rounds.back();
        std::printf("%d node(s): %.2f pages/s, p95 time to ready %.2f s, %d failed\n", nodes,
                    round.pagesPerSecond, round.p95Seconds, round.failed);
    }
    ShowSharedCache();
    std::printf("throughput of 3 nodes against 1 node: %.2f\n",
                rounds[2].pagesPerSecond / rounds[0].pagesPerSecond);
    return 0;
}
