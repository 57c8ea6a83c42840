// Socket component benchmark (run by hand, see docs/tests.md):
// 1. CPU used while ReadLn waits 5 s on a loopback server that sends nothing
//    (goal: under 2% of one core);
// 2. CaptureFile of a large body (512 MiB unless a size in MiB is given)
//    from a loopback server against `curl -s -o` fetching the same body in
//    the same run (goal: at least 90% of curl's throughput). The last line
//    prints the ratio.
// The servers are threads of this program. On a busy machine the wall-time
// ratio is noisy; the CPU each client spends per GiB is printed as well.

#include "CpuSeconds.h"
#include "FileSystem.h"
#include "TBrumel.h"

#include <QCoreApplication>
#include <QTemporaryDir>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <thread>

using namespace zel;
using Clock = std::chrono::steady_clock;

namespace {

double Seconds(Clock::duration d) {
    return std::chrono::duration<double>(d).count();
}

// Wall time of a transfer, and the CPU time its client used.
struct Run {
    double seconds;
    double cpu;
};

// A loopback server thread serving `connections` connections with `serve`.
class Server {
public:
    template <class F> Server(int connections, F serve) {
        listener_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_in a{};
        a.sin_family = AF_INET;
        a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t len = sizeof a;
        if (::bind(listener_, reinterpret_cast<sockaddr*>(&a), len) != 0 ||
            ::listen(listener_, 4) != 0 ||
            ::getsockname(listener_, reinterpret_cast<sockaddr*>(&a), &len) != 0) {
            std::perror("listen");
            std::exit(1);
        }
        port_ = ntohs(a.sin_port);
        thread_ = std::thread([this, connections, serve] {
            for (int i = 0; i < connections && !stop_; ++i) {
                pollfd p{listener_, POLLIN, 0};
                while (!stop_ && ::poll(&p, 1, 100) <= 0) {
                }
                if (stop_)
                    break;
                int s = ::accept(listener_, nullptr, nullptr);
                serve(s, stop_);
                ::close(s);
            }
        });
    }
    ~Server() {
        stop_ = true;
        thread_.join();
        ::close(listener_);
    }
    std::uint16_t port() const { return port_; }

private:
    int listener_ = -1;
    std::uint16_t port_ = 0;
    std::atomic<bool> stop_{false};
    std::thread thread_;
};

void MeasureIdleWait() {
    Server silent(1, [](int, std::atomic<bool>& stop) {
        while (!stop)
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
    });
    TBrumel b;
    b.Host = "127.0.0.1";
    b.Port = silent.port();
    b.TimeOut = 5000;
    b.Connect();
    double cpu = CpuSeconds();
    auto start = Clock::now();
    std::string line;
    try {
        b.ReadLn(line);
    } catch (const EAbortError&) {
        // the expected end: the time-out
    }
    double wall = Seconds(Clock::now() - start);
    double used = CpuSeconds() - cpu;
    std::printf("ReadLn waiting %.2f s on a silent server: %.4f CPU s per wall s (goal < 0.02)\n",
                wall, used / wall);
}

// Reads the request up to its blank line, then sends a header and the body.
void ServeBody(int s, std::atomic<bool>& stop, std::int64_t size) {
    std::string request;
    char buffer[4096];
    while (request.find("\r\n\r\n") == std::string::npos && !stop) {
        ssize_t n = ::recv(s, buffer, sizeof buffer, 0);
        if (n <= 0)
            return;
        request.append(buffer, static_cast<std::size_t>(n));
    }
    std::string header = "HTTP/1.0 200 OK\r\nContent-Length: " + std::to_string(size) + "\r\n\r\n";
    ::send(s, header.data(), header.size(), MSG_NOSIGNAL);
    std::string chunk(1 << 20, '\0');
    for (std::size_t i = 0; i < chunk.size(); ++i)
        chunk[i] = static_cast<char>(i * 31 + 7);
    for (std::int64_t sent = 0; sent < size && !stop;) {
        std::size_t part =
            static_cast<std::size_t>(std::min<std::int64_t>(size - sent, chunk.size()));
        ssize_t n = ::send(s, chunk.data(), part, MSG_NOSIGNAL);
        if (n <= 0)
            return;
        sent += n;
    }
}

Run Curl(std::uint16_t port, const std::string& file) {
    std::remove(file.c_str());
    double cpu = CpuSeconds(RUSAGE_CHILDREN);
    std::string command =
        "curl -s -o '" + file + "' http://127.0.0.1:" + std::to_string(port) + "/";
    auto start = Clock::now();
    if (std::system(command.c_str()) != 0) {
        std::fprintf(stderr, "curl failed\n");
        std::exit(1);
    }
    return {Seconds(Clock::now() - start), CpuSeconds(RUSAGE_CHILDREN) - cpu};
}

Run Capture(std::uint16_t port, const std::string& file) {
    std::remove(file.c_str());
    double cpu = CpuSeconds(RUSAGE_THREAD);
    auto start = Clock::now();
    TBrumel b;
    b.Host = "127.0.0.1";
    b.Port = port;
    b.TimeOut = 90000;
    b.Connect();
    b.Write("GET / HTTP/1.0\r\n\r\n");
    std::string line;
    do
        b.ReadLn(line);
    while (line != "\r\n" && !line.empty());
    b.CaptureFile(file);
    b.Disconnect();
    return {Seconds(Clock::now() - start), CpuSeconds(RUSAGE_THREAD) - cpu};
}

void KeepBest(Run& best, Run run) {
    best.seconds = std::min(best.seconds, run.seconds);
    best.cpu = std::min(best.cpu, run.cpu);
}

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    std::int64_t mib = argc > 1 ? std::atoll(argv[1]) : 512;
    std::int64_t size = mib << 20;

    MeasureIdleWait();

    QTemporaryDir dir;
    std::string curlFile = dir.filePath("curl.dat").toStdString();
    std::string captureFile = dir.filePath("capture.dat").toStdString();
    const int rounds = 5;
    Server server(2 * rounds, [size](int s, std::atomic<bool>& stop) { ServeBody(s, stop, size); });
    Run curlBest{1e9, 1e9}, captureBest{1e9, 1e9};
    // Alternating, so that neither side always meets the other's writeback.
    for (int round = 0; round < rounds; ++round) {
        if (round % 2 == 0) {
            KeepBest(curlBest, Curl(server.port(), curlFile));
            KeepBest(captureBest, Capture(server.port(), captureFile));
        } else {
            KeepBest(captureBest, Capture(server.port(), captureFile));
            KeepBest(curlBest, Curl(server.port(), curlFile));
        }
        if (FileSizeOf(curlFile) != size || FileSizeOf(captureFile) != size) {
            std::fprintf(stderr, "a transfer was incomplete\n");
            return 1;
        }
    }
    double mb = static_cast<double>(size) / 1e6;
    double curlRate = mb / curlBest.seconds, captureRate = mb / captureBest.seconds;
    double gib = static_cast<double>(size) / (1 << 30);
    std::printf("%lld MiB body, best of %d runs each\n", static_cast<long long>(mib), rounds);
    // Unlike wall time, the clients' own CPU time hardly depends on the load
    // of a shared machine.
    std::printf("CPU per GiB: CaptureFile %.2f s, curl %.2f s\n", captureBest.cpu / gib,
                curlBest.cpu / gib);
    std::printf("CaptureFile %.0f MB/s, curl -s -o %.0f MB/s, ratio %.2f (goal >= 0.90)\n",
                captureRate, curlRate, captureRate / curlRate);
    return 0;
}
