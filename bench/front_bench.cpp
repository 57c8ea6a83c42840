// The service's HTTP front under many connections: 5000 idle connections
// from one address and 1000 page requests waiting on their jobs from
// another, while a third client polls 20 times. Goals: median poll < 50 ms,
// worst < 200 ms. Prints the memory per idle connection; the last line is
// the median poll time under load against the 50 ms goal.

#include "OpenFileLimit.h"
#include "ServiceTestSupport.h"

#include <algorithm>
#include <cstdio>
#include <fstream>
#include <functional>
#include <poll.h>
#include <string>
#include <sys/socket.h>
#include <unistd.h>
#include <vector>

using namespace zel::service;
using namespace zel::service::test;
using namespace std::chrono_literals;

namespace {

constexpr int kIdle = 5000;
constexpr int kWaiting = 1000;
constexpr int kPolls = 20;
constexpr double kGoalMs = 50;

long ResidentKiB() {
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line))
        if (line.rfind("VmRSS:", 0) == 0)
            return std::stol(line.substr(6));
    return 0;
}

// Poll times in milliseconds, sorted.
std::vector<double> TimePolls(int port, const std::string& login) {
    std::vector<double> times;
    for (int i = 0; i < kPolls; ++i) {
        const auto started = std::chrono::steady_clock::now();
        const RawReply reply = Get(port, PollTarget(login));
        const std::chrono::duration<double, std::milli> took =
            std::chrono::steady_clock::now() - started;
        times.push_back(reply.closed ? took.count() : 1e9);
    }
    std::sort(times.begin(), times.end());
    return times;
}

// Opens `count` connections from `from`, sending `request(i)` on each.
std::vector<int> Connect(int port, const char* from, int count,
                         const std::function<std::string(int)>& request) {
    std::vector<int> sockets;
    for (int i = 0; i < count; ++i) {
        const int fd = ConnectLoopback(port, from);
        if (fd < 0)
            break;
        const std::string text = request(i);
        send(fd, text.data(), text.size(), MSG_NOSIGNAL);
        sockets.push_back(fd);
    }
    return sockets;
}

// Connections with nothing to read yet: not answered, not closed.
std::size_t StillOpen(const std::vector<int>& sockets) {
    std::vector<pollfd> watched;
    for (int fd : sockets)
        watched.push_back({fd, POLLIN, 0});
    poll(watched.data(), watched.size(), 0);
    return std::count_if(watched.begin(), watched.end(),
                         [](const pollfd& watch) { return watch.revents == 0; });
}

} // namespace

int main() {
    const std::uint64_t files = RaiseOpenFileLimit();
    // A job that runs until the service ends it: its page request waits.
    ScriptedRunner runner([](const PageRequest&, const std::string&, const auto&,
                             const std::atomic<bool>& cancelled) {
        SleepUnlessCancelled(cancelled, 120s);
        return PageOutcome::Failed(FailureKind::Replaced);
    });
    ProtocolSettings protocol;
    protocol.pollWait = 60s;
    HttpSettings http = RunningService::AnyLoopbackPort();
    http.headSeconds = 120;
    http.connectionsPerClient = 2 * kIdle;
    RunningService service(runner, nullptr, protocol, http, 2 * kWaiting);
    const int port = service.Port();
    const std::string poller = service.AddLogin();
    std::vector<std::string> waiters;
    for (int i = 0; i < kWaiting; ++i)
        waiters.push_back(service.AddLogin());

    const std::vector<double> idleTimes = TimePolls(port, poller);
    const long before = ResidentKiB();
    const std::vector<int> idle = Connect(port, "127.0.0.2", kIdle, [](int) { return ""; });
    std::this_thread::sleep_for(2s);
    const long after = ResidentKiB();
    const std::vector<int> waiting = Connect(port, "127.0.0.3", kWaiting, [&](int i) {
        return "GET " + PageTarget(waiters[i], "http://example.org/") + " HTTP/1.0\r\n\r\n";
    });
    std::this_thread::sleep_for(2s);
    const std::vector<double> loadTimes = TimePolls(port, poller);

    std::printf("open file limit %llu; held %zu of %d idle and %zu of %d waiting connections\n",
                static_cast<unsigned long long>(files), StillOpen(idle), kIdle, StillOpen(waiting),
                kWaiting);
    std::printf("memory per idle connection: %.1f KiB (both ends in this process)\n",
                idle.empty() ? 0.0 : static_cast<double>(after - before) / idle.size());
    std::printf("poll without load: median %.2f ms\n", idleTimes[kPolls / 2]);
    std::printf("poll under load: median %.2f ms, worst %.2f ms (goals 50 ms, 200 ms)\n",
                loadTimes[kPolls / 2], loadTimes.back());
    for (int fd : idle)
        close(fd);
    for (int fd : waiting)
        close(fd);
    std::printf("median poll under load / 50 ms goal: %.3f\n", loadTimes[kPolls / 2] / kGoalMs);
    return 0;
}
