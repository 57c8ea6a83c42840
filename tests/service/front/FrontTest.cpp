// The HTTP front under clients that stall it: idle, trickling and
// over-long requests from one address must not delay another client's poll,
// and each of them gets its answer or its closure. The request line limit
// leaves room for the longest page address.

#include "PageParameters.h"
#include "Replies.h"
#include "ServiceTestSupport.h"

#include <gtest/gtest.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

using namespace zel::service;
using namespace zel::service::test;
using namespace std::chrono_literals;

namespace {

struct Crowd {
    const char* name;
    int connections;
    std::string request; // sent at once, or a byte a tick when trickling
    bool trickle;
    std::string reply; // how the answer's body begins; empty: closed without one
};

struct Client {
    Client(const Crowd& crowd, int port) : crowd(&crowd), fd(ConnectLoopback(port, "127.0.0.2")) {}

    const Crowd* crowd;
    int fd;
    std::size_t sent = 0;
    std::string received;
    bool closed = false;
};

// Sends what each client sends and reads until every one is closed or
// `limit` passes.
void Drive(std::vector<Client>& clients, std::chrono::seconds limit) {
    const auto deadline = std::chrono::steady_clock::now() + limit;
    for (;;) {
        std::vector<pollfd> watched;
        std::vector<Client*> open;
        for (Client& client : clients) {
            if (client.closed)
                continue;
            const std::string& request = client.crowd->request;
            if (client.sent < request.size()) {
                const std::size_t size = client.crowd->trickle ? 1 : request.size() - client.sent;
                const ssize_t put = send(client.fd, request.data() + client.sent, size,
                                         MSG_NOSIGNAL | MSG_DONTWAIT);
                client.sent += put > 0 ? static_cast<std::size_t>(put) : 0;
            }
            watched.push_back({client.fd, POLLIN, 0});
            open.push_back(&client);
        }
        if (open.empty() || std::chrono::steady_clock::now() > deadline)
            return;
        poll(watched.data(), watched.size(), 100);
        for (std::size_t i = 0; i < watched.size(); ++i) {
            if (!watched[i].revents)
                continue;
            char buffer[4096];
            const ssize_t got = recv(watched[i].fd, buffer, sizeof buffer, MSG_DONTWAIT);
            if (got > 0)
                open[i]->received.append(buffer, static_cast<std::size_t>(got));
            else
                open[i]->closed = true;
        }
    }
}

HttpSettings Limits(int headSeconds, int connectionsPerClient) {
    HttpSettings http = RunningService::AnyLoopbackPort();
    http.headSeconds = headSeconds;
    http.connectionsPerClient = connectionsPerClient;
    return http;
}

} // namespace

TEST(Front, StallingClientsDoNotDelayOthersAndAreAnsweredOrCutOff) {
    ScriptedRunner runner(SteppedJob(0, 1, 0ms));
    const HttpSettings http = Limits(2, 1000);
    RunningService service(runner, nullptr, RunningService::ShortWaits(), http);
    const std::string login = service.AddLogin();
    const std::string paging = service.AddLogin();
    const int port = service.Port();

    // The longest page address, in absolute form as a proxy passes it on.
    const std::string longest = "http://a.example/" + std::string(kMaxAddressLength - 17, 'p');
    const std::string absolute = "GET http://127.0.0.1:" + std::to_string(port);
    const Crowd crowds[] = {
        {"idle", 200, "", false, ""},
        {"trickling", 30, "GET " + PollTarget(login) + " HTTP/1.0\r\nHost: a\r\n\r\n", true, ""},
        {"line over the limit", 5,
         "GET /zel/poll?login=" + login + "&x=" + std::string(http.maxRequestLineBytes, 'x') +
             " HTTP/1.0\r\n\r\n",
         false, BadReply(FailureKind::RequestTooLong).body},
        {"longest address", 1, absolute + PageTarget(paging, longest) + " HTTP/1.0\r\n\r\n", false,
         "OK,"},
        {"address one too long", 1,
         absolute + PageTarget(paging, longest + "p") + " HTTP/1.0\r\n\r\n", false,
         BadReply(FailureKind::AddressRefused).body},
    };
    std::vector<Client> clients;
    for (const Crowd& crowd : crowds)
        for (int i = 0; i < crowd.connections; ++i)
            clients.emplace_back(crowd, port);
    Drive(clients, 1s);

    // Another client is answered while the crowds still hold their connections.
    const RawReply normal = SendRaw(port, "GET " + PollTarget(login) + " HTTP/1.0\r\n\r\n", 10s);
    EXPECT_TRUE(normal.closed);
    EXPECT_EQ(normal.AsReply(), BadReply(FailureKind::PageLost));

    Drive(clients, 20s);
    for (const Client& client : clients) {
        ASSERT_TRUE(client.closed) << client.crowd->name;
        const std::size_t body = client.received.find("\r\n\r\n");
        EXPECT_EQ(body == std::string::npos || client.crowd->reply.empty()
                      ? client.received
                      : client.received.substr(body + 4, client.crowd->reply.size()),
                  client.crowd->reply)
            << client.crowd->name;
        close(client.fd);
    }
}

TEST(Front, ConnectionsOfOneClientAddressAreCapped) {
    ScriptedRunner runner(SteppedJob(0, 1, 0ms));
    const HttpSettings http = Limits(60, 4);
    RunningService service(runner, nullptr, RunningService::ShortWaits(), http);
    const Crowd idle{"idle", 10, "", false, ""};
    std::vector<Client> clients;
    for (int i = 0; i < idle.connections; ++i)
        clients.emplace_back(idle, service.Port());
    Drive(clients, 5s);
    // Closed long before the head's time is up: only the cap can close them.
    EXPECT_EQ(std::count_if(clients.begin(), clients.end(), [](auto& c) { return c.closed; }),
              idle.connections - http.connectionsPerClient);
    EXPECT_EQ(Get(service.Port(), "/nothing").status, 404);
    for (const Client& client : clients)
        close(client.fd);
}

// X-Real-IP names the client only when a trusted proxy sends it: a client
// that forges it gets neither more logins nor more connections.
TEST(Front, OnlyTrustedProxiesNameTheClient) {
    struct Case {
        const char* trusted; // the logins come from 127.0.0.1, the idle crowd from 127.0.0.2
        std::vector<bool> loginsMade; // forged as 10.0.0.1 four times, then 10.0.0.2
        int crowdClosed;
    };
    const bool ok = true, refused = false;
    for (const Case& c : {Case{"127.0.0.9", {ok, ok, ok, refused, refused}, 6},
                          Case{"127.0.0.0/30", {ok, ok, ok, refused, ok}, 0},
                          Case{"::ffff:127.0.0.0/126", {ok, ok, ok, refused, ok}, 0}}) {
        ScriptedRunner runner(SteppedJob(0, 1, 0ms));
        HttpSettings http = Limits(60, 4);
        http.trustedProxies.Add(c.trusted);
        ProtocolSettings protocol = RunningService::ShortWaits();
        protocol.loginsPerClient = 3;
        RunningService service(runner, nullptr, protocol, http);
        for (std::size_t i = 0; i < c.loginsMade.size(); ++i) {
            const std::string reply =
                SendRaw(service.Port(), "GET /zel/login?comp=c&mail=u" + std::to_string(i) +
                                            "@example.org HTTP/1.0\r\nX-Real-IP: 10.0.0." +
                                            (i < 4 ? "1" : "2") + "\r\n\r\n")
                    .body;
            EXPECT_EQ(reply.rfind("OK,Your login is", 0) == 0, c.loginsMade[i])
                << c.trusted << " " << i << ": " << reply;
        }
        const Crowd idle{"idle", 10, "", false, ""};
        std::vector<Client> clients;
        for (int i = 0; i < idle.connections; ++i)
            clients.emplace_back(idle, service.Port());
        Drive(clients, 2s);
        EXPECT_EQ(std::count_if(clients.begin(), clients.end(), [](auto& c) { return c.closed; }),
                  c.crowdClosed)
            << c.trusted;
        for (const Client& client : clients)
            close(client.fd);
    }
}
