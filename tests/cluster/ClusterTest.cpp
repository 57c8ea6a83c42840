// Three service nodes sharing one PostgreSQL server behind HAProxy, on this
// machine: every login's pages are made and handed out by one node, logins
// and their limits hold across nodes, what one node made serves the others,
// and a node or the database that goes away costs a clear text, never a
// hang, and recovers.

#include "Replies.h"
#include "TestCluster.h"
#include "TestImages.h"

#include <algorithm>
#include <arpa/inet.h>
#include <atomic>
#include <cstdio>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <regex>
#include <sys/socket.h>
#include <thread>
#include <unistd.h>

using namespace zel::service;
using namespace zel::service::test;
using namespace std::chrono_literals;

namespace {

const std::regex kOk(R"(OK,\d+;\d+:)");
const std::string kLost = BadReply(FailureKind::PageLost).body;

constexpr const char* kPage = "<html><head><title>t</title></head><body><p>Hello "
                              "<b>cluster</b></p></body></html>";

std::string Mail(int number) {
    return "user" + std::to_string(number) + "@example.org";
}

// Runs `work(i)` for i below `count` on a few threads.
void ForEach(int count, int threads, const std::function<void(int)>& work) {
    std::atomic<int> next{0};
    std::vector<std::thread> pool;
    for (int t = 0; t < threads; ++t)
        pool.emplace_back([&] {
            for (int i = next++; i < count; i = next++)
                work(i);
        });
    for (std::thread& thread : pool)
        thread.join();
}

// How long `work` takes.
std::chrono::seconds Timed(const std::function<void()>& work) {
    const auto start = std::chrono::steady_clock::now();
    work();
    return std::chrono::ceil<std::chrono::seconds>(std::chrono::steady_clock::now() - start);
}

// Connections from the loopback address `from`, each left as it is once
// opened, as a client that holds many idle ones; the sockets are returned.
std::vector<int> OpenIdle(int port, const char* from, int count) {
    std::vector<int> sockets;
    for (int i = 0; i < count; ++i) {
        const int fd = socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        inet_pton(AF_INET, from, &address.sin_addr);
        bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address);
        address.sin_port = htons(static_cast<uint16_t>(port));
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address);
        sockets.push_back(fd);
    }
    return sockets;
}

std::vector<std::string> MakeLogins(TestCluster& cluster, int count) {
    std::vector<std::string> logins(count);
    ForEach(count, 4, [&](int i) { logins[i] = cluster.MakeLogin(i % 3, Mail(i)); });
    return logins;
}

} // namespace

TEST(Cluster, ThreeHundredLoginsMadeAtAnyNodeGetTheirPagesThroughTheBalancer) {
    TestCluster cluster(3, {"--logins-per-client=100000"});
    cluster.Origin().Serve("/page", kPage, "text/html");
    const std::string url = cluster.Origin().Url("/page");
    const int balancer = cluster.BalancerPort();
    const auto logins = MakeLogins(cluster, 300);

    std::vector<std::string> replies(logins.size());
    std::vector<RawReply> archives(logins.size());
    ForEach(static_cast<int>(logins.size()), 6, [&](int i) {
        replies[i] = AskForPage(balancer, logins[i], url);
        archives[i] = Get(balancer, "/zel/arch/" + logins[i] + "/1.dat");
    });
    int perNode[3] = {0, 0, 0};
    for (std::size_t i = 0; i < logins.size(); ++i) {
        EXPECT_TRUE(std::regex_match(replies[i], kOk)) << logins[i] << ": " << replies[i];
        // The archive comes from the node that made it, found by its path.
        EXPECT_EQ(archives[i].status, 200) << logins[i];
        EXPECT_EQ(std::to_string(archives[i].body.size()),
                  replies[i].substr(3, replies[i].find(';') - 3));
        const int node = cluster.NodeOf(logins[i]);
        ASSERT_GE(node, 0) << logins[i];
        ++perNode[node];
    }
    for (int count : perNode)
        EXPECT_GT(count, 30) << "the logins spread over every node";
}

TEST(Cluster, APageMadeAtOneNodeIsWarmAtTheOthers) {
    TestCluster cluster;
    cluster.Origin().Serve("/a.png", MakeScreenshot(200, 100), "image/png",
                           {{"Cache-Control", "max-age=3600"}});
    cluster.Origin().Serve("/page", "<html><body><img src=a.png></body></html>", "text/html");
    const std::string url = cluster.Origin().Url("/page");
    std::vector<std::string> replies;
    for (int node = 0; node < 3; ++node)
        replies.push_back(
            AskForPage(cluster.NodePort(node), cluster.MakeLogin(node, Mail(node)), url));
    // The same archive: its size before the ';' (the page's bytes may have
    // come in earlier replies).
    for (const std::string& reply : replies)
        EXPECT_EQ(reply.substr(0, reply.find(';')), replies[0].substr(0, replies[0].find(';')));
    EXPECT_EQ(cluster.Origin().Hits("/a.png"), 1);
}

TEST(Cluster, LoginLimitsCountAcrossNodes) {
    TestCluster cluster(3, {"--logins-per-mail=2", "--logins-per-client=4"});
    cluster.MakeLogin(0, "same@example.org");
    cluster.MakeLogin(1, "same@example.org");
    EXPECT_EQ(Get(cluster.NodePort(2), "/zel/login?comp=c&mail=same@example.org").body,
              BadReply(FailureKind::TooManyLogins).body);
    cluster.MakeLogin(2, "other@example.org");
    // The fourth from this client was the refused one; a fifth is over the limit.
    EXPECT_EQ(Get(cluster.NodePort(0), "/zel/login?comp=c&mail=third@example.org").body,
              BadReply(FailureKind::TooManyLogins).body);
}

// More idle connections from one source than the balancer holds in all
// must not delay another source's page by more than a second.
TEST(Cluster, OneSourceHoldingManyConnectionsDoesNotDelayAnother) {
    TestCluster cluster;
    cluster.Origin().Serve("/page", kPage, "text/html");
    const std::string login = cluster.MakeLogin(0, Mail(1));
    const int balancer = cluster.BalancerPort();
    const auto cycle = [&] {
        const auto start = std::chrono::steady_clock::now();
        EXPECT_TRUE(
            std::regex_match(AskForPage(balancer, login, cluster.Origin().Url("/page")), kOk));
        EXPECT_EQ(Get(balancer, "/zel/arch/" + login + "/1.dat").status, 200);
        return (std::chrono::steady_clock::now() - start) / 1ms;
    };
    cycle(); // the first also looks the login up and starts the node's job process
    const long long alone = cycle();
    const std::vector<int> idle = OpenIdle(balancer, "127.0.0.2", 4200);
    std::this_thread::sleep_for(2s); // the balancer has taken or refused them all
    long long worst = 0;
    for (int i = 0; i < 3; ++i) {
        worst = std::max<long long>(worst, cycle());
        EXPECT_LT(worst, alone + 1000) << "cycle " << i << "; alone " << alone << " ms";
    }
    std::printf("page cycle alone %lld ms, beside 4200 idle connections at most %lld ms\n", alone,
                worst);
    for (const int fd : idle)
        close(fd);
}

TEST(Cluster, AKilledNodeLosesOnlyItsJobsAndRejoins) {
    TestCluster cluster(3, {"--logins-per-client=100000", "--poll-wait-ms=300"});
    cluster.Origin().Serve("/page", kPage, "text/html");
    cluster.Origin().Http().Get("/slow", [](const httplib::Request&, httplib::Response& response) {
        std::this_thread::sleep_for(2s);
        response.set_content(kPage, "text/html");
    });
    const int balancer = cluster.BalancerPort();
    const auto logins = MakeLogins(cluster, 24);
    ForEach(24, 4, [&](int i) { AskForPage(balancer, logins[i], cluster.Origin().Url("/page")); });
    std::vector<int> nodeOf;
    for (const std::string& login : logins)
        nodeOf.push_back(cluster.NodeOf(login));
    const int victim = nodeOf[0];

    // Every login has a slow job running or waiting when the node dies.
    std::vector<std::string> first(logins.size());
    ForEach(24, 4, [&](int i) {
        first[i] = Get(balancer, PageTarget(logins[i], cluster.Origin().Url("/slow"))).body;
    });
    for (const std::string& reply : first)
        ASSERT_EQ(reply.rfind("NexT", 0), 0u) << reply;
    cluster.KillNode(victim);

    std::vector<std::string> last(logins.size());
    ForEach(24, 6, [&](int i) {
        std::int64_t total = 0;
        last[i] = PollToEnd(balancer, logins[i], first[i], total);
    });
    std::vector<std::string> lost;
    for (std::size_t i = 0; i < logins.size(); ++i) {
        if (nodeOf[i] == victim) {
            EXPECT_EQ(last[i], kLost) << logins[i];
            lost.push_back(logins[i]);
        } else {
            EXPECT_TRUE(std::regex_match(last[i], kOk)) << logins[i] << ": " << last[i];
        }
    }
    ASSERT_FALSE(lost.empty());
    for (const std::string& login : lost) // Go again: another node makes it
        EXPECT_TRUE(
            std::regex_match(AskForPage(balancer, login, cluster.Origin().Url("/page")), kOk))
            << login;

    cluster.StartNode(victim);
    const auto archive = cluster.NodeFolder(victim) / "archives" / (lost[0] + ".zip");
    std::filesystem::remove(archive);
    EXPECT_TRUE(WaitUntil(
        [&] {
            AskForPage(balancer, lost[0], cluster.Origin().Url("/page"));
            return std::filesystem::exists(archive);
        },
        60s))
        << "the restarted node takes its logins again";
}

// A cluster with a login that fetched a page through the balancer, so its
// node knows it, and one that no node has looked up.
class ClusterDatabase : public ::testing::Test {
protected:
    void SetUp() override {
        cluster.Origin().Serve("/page", kPage, "text/html");
        ASSERT_TRUE(std::regex_match(AskForPage(balancer, known, url), kOk));
    }

    TestCluster cluster{3, {"--poll-wait-ms=300"}};
    const std::string url = cluster.Origin().Url("/page");
    const int balancer = cluster.BalancerPort();
    const std::string known = cluster.MakeLogin(0, Mail(1));
    const std::string unseen = cluster.MakeLogin(0, Mail(2));
};

TEST_F(ClusterDatabase, AwayGivesAClearTextAndPagesWorkAgainAfter) {
    cluster.Database().Stop();
    EXPECT_EQ(Get(cluster.NodePort(1), PageTarget(unseen, url)).body,
              BadReply(FailureKind::AccountsUnavailable).body);
    EXPECT_EQ(Get(cluster.NodePort(1), "/zel/health").status, 503);
    const std::string away = Get(balancer, PageTarget(unseen, url)).body;
    EXPECT_EQ(away.rfind("Bad,", 0), 0u) << away;
    EXPECT_EQ(away.find("<"), std::string::npos) << away;

    cluster.Database().Start();
    EXPECT_TRUE(
        WaitUntil([&] { return std::regex_match(AskForPage(balancer, known, url), kOk); }, 60s));
    EXPECT_EQ(Get(cluster.NodePort(2), "/zel/health").status, 200);
}

TEST_F(ClusterDatabase, StalledCostsSecondsAndKnownLoginsGoOn) {
    const int port = cluster.NodePort(cluster.NodeOf(known));
    cluster.Database().Pause();
    // The unseen login's check waits on the stalled store meanwhile.
    std::string refused;
    std::chrono::seconds refusedAfter{};
    std::thread unseenPage([&] {
        refusedAfter = Timed([&] { refused = Get(port, PageTarget(unseen, url), 60s).body; });
    });
    std::this_thread::sleep_for(1s);
    std::string page;
    EXPECT_LT(Timed([&] { page = AskForPage(port, known, url); }), 10s);
    EXPECT_TRUE(std::regex_match(page, kOk)) << page;
    RawReply archive;
    EXPECT_LT(Timed([&] { archive = Get(port, "/zel/arch/" + known + "/1.dat"); }), 5s);
    EXPECT_EQ(archive.status, 200);
    RawReply health;
    EXPECT_LT(Timed([&] { health = Get(port, "/zel/health"); }), 15s);
    EXPECT_EQ(health.status, 503);
    unseenPage.join();
    EXPECT_EQ(refused, BadReply(FailureKind::AccountsUnavailable).body);
    EXPECT_LT(refusedAfter, 40s) << "the store's time limit and a reconnection, with room";

    cluster.Database().Resume();
    const std::string fresh = cluster.MakeLogin(1, Mail(3));
    EXPECT_TRUE(
        WaitUntil([&] { return std::regex_match(AskForPage(balancer, fresh, url), kOk); }, 60s));
}

TEST_F(ClusterDatabase, FifteenRequestsDuringAStallAreAllAnsweredWithinFifteenSeconds) {
    const int port = cluster.NodePort(1);
    cluster.Database().Pause();
    std::vector<std::string> replies(15);
    std::vector<std::chrono::seconds> took(15);
    ForEach(15, 15, [&](int i) {
        const std::string login = "unseenlogin" + std::to_string(10 + i);
        took[i] = Timed([&] { replies[i] = Get(port, PageTarget(login, url), 60s).body; });
    });
    for (int i = 0; i < 15; ++i) {
        EXPECT_EQ(replies[i], BadReply(FailureKind::AccountsUnavailable).body) << i;
        EXPECT_LE(took[i], 15s) << i;
    }
    std::printf("15 requests during the stall, the last answered within %lld s\n",
                static_cast<long long>(std::ranges::max(took).count()));
    cluster.Database().Resume();
    EXPECT_TRUE(
        WaitUntil([&] { return std::regex_match(AskForPage(port, unseen, url), kOk); }, 20s));
}
