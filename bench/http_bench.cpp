// Throughput of the HTTP client against curl on the same loopback body.
//
// A helper thread serves "GET /<n>" with an n-byte body and closes. Each
// case is timed as the best of a few runs: TQzHTTP::Get with InputFileMode
// (512 MiB) and in string mode (256 MiB, the largest body string mode
// accepts), and `curl -s -o <file>` on the same bodies. Prints each ratio
// (client / curl throughput); the last line holds the lower one.

#include "TQzHTTP.h"

#include <QCoreApplication>
#include <QTemporaryDir>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <string>
#include <thread>

namespace {

constexpr std::size_t MiB = 1u << 20;
constexpr std::size_t FileBody = 512 * MiB;
constexpr std::size_t StringBody = zel::TQzHTTP::DefaultMaxStringBody;
constexpr int Runs = 3;

class BodyServer {
public:
    BodyServer() {
        listener_ = ::socket(AF_INET, SOCK_STREAM, 0);
        int yes = 1;
        ::setsockopt(listener_, SOL_SOCKET, SO_REUSEADDR, &yes, sizeof yes);
        sockaddr_in sa{};
        sa.sin_family = AF_INET;
        sa.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        if (::bind(listener_, reinterpret_cast<sockaddr*>(&sa), sizeof sa) != 0 ||
            ::listen(listener_, 8) != 0) {
            std::perror("listen");
            std::exit(1);
        }
        socklen_t len = sizeof sa;
        ::getsockname(listener_, reinterpret_cast<sockaddr*>(&sa), &len);
        port_ = ntohs(sa.sin_port);
        block_.assign(MiB, 'x');
        for (std::size_t i = 0; i < block_.size(); ++i)
            block_[i] = static_cast<char>('a' + i % 26);
        thread_ = std::thread([this] { serve(); });
    }
    ~BodyServer() {
        stop_ = true;
        thread_.join();
        ::close(listener_);
    }
    std::string url(std::size_t size) const {
        return "http://127.0.0.1:" + std::to_string(port_) + "/" + std::to_string(size);
    }

private:
    void serve() {
        while (!stop_) {
            pollfd p{listener_, POLLIN, 0};
            if (::poll(&p, 1, 50) <= 0)
                continue;
            int client = ::accept(listener_, nullptr, nullptr);
            if (client >= 0) {
                answer(client);
                ::close(client);
            }
        }
    }
    void answer(int client) {
        std::string request;
        char buffer[4096];
        while (request.find("\r\n\r\n") == std::string::npos) {
            ssize_t n = ::recv(client, buffer, sizeof buffer, 0);
            if (n <= 0)
                return;
            request.append(buffer, static_cast<std::size_t>(n));
        }
        std::size_t slash = request.find('/');
        std::size_t size = std::strtoull(request.c_str() + slash + 1, nullptr, 10);
        std::string head =
            "HTTP/1.0 200 OK\r\nContent-Length: " + std::to_string(size) + "\r\n\r\n";
        if (!sendAll(client, head.data(), head.size()))
            return;
        for (std::size_t sent = 0; sent < size; sent += block_.size())
            if (!sendAll(client, block_.data(), std::min(block_.size(), size - sent)))
                return;
    }
    static bool sendAll(int fd, const char* data, std::size_t size) {
        while (size > 0) {
            ssize_t n = ::send(fd, data, size, MSG_NOSIGNAL);
            if (n <= 0)
                return false;
            data += n;
            size -= static_cast<std::size_t>(n);
        }
        return true;
    }

    int listener_ = -1;
    int port_ = 0;
    std::string block_;
    std::atomic<bool> stop_{false};
    std::thread thread_;
};

double SecondsOf(const std::function<void()>& run) {
    auto start = std::chrono::steady_clock::now();
    run();
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

// Best times of the client and of curl on the same body, in alternating
// rounds so that neither side always meets the other's disk writeback.
struct Timing {
    double client = 1e9;
    double curl = 1e9;
};

Timing Compare(const BodyServer& server, std::size_t size, const std::string& curlFile,
               const std::function<void()>& client, const std::function<bool()>& clientDone) {
    const std::string command = "curl -s -o '" + curlFile + "' " + server.url(size);
    auto runCurl = [&] {
        std::filesystem::remove(curlFile);
        if (std::system(command.c_str()) != 0 || std::filesystem::file_size(curlFile) != size) {
            std::fprintf(stderr, "curl failed\n");
            std::exit(1);
        }
    };
    auto runClient = [&] {
        client();
        if (!clientDone()) {
            std::fprintf(stderr, "the client's body is incomplete\n");
            std::exit(1);
        }
    };
    Timing best;
    for (int round = 0; round < Runs; ++round) {
        if (round % 2 == 0) {
            best.curl = std::min(best.curl, SecondsOf(runCurl));
            best.client = std::min(best.client, SecondsOf(runClient));
        } else {
            best.client = std::min(best.client, SecondsOf(runClient));
            best.curl = std::min(best.curl, SecondsOf(runCurl));
        }
    }
    std::filesystem::remove(curlFile);
    return best;
}

double Report(const char* mode, std::size_t size, const Timing& timing) {
    const double ratio = timing.curl / timing.client;
    std::printf("%s, %zu MiB: TQzHTTP %.0f MiB/s, curl -s -o %.0f MiB/s, ratio %.3f\n", mode,
                size / MiB, size / MiB / timing.client, size / MiB / timing.curl, ratio);
    return ratio;
}

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    QTemporaryDir dir;
    BodyServer server;
    const std::string curlFile = dir.filePath("curl.dat").toStdString();
    const std::string clientFile = dir.filePath("page.dat").toStdString();

    zel::TQzHTTP http;
    http.TimeOut = 90000;

    http.InputFileMode = true;
    http.Body = clientFile;
    const double fileRatio =
        Report("file mode", FileBody,
               Compare(
                   server, FileBody, curlFile,
                   [&] {
                       std::filesystem::remove(clientFile);
                       http.Get(server.url(FileBody));
                   },
                   [&] { return std::filesystem::file_size(clientFile) == FileBody; }));
    std::filesystem::remove(clientFile);

    http.InputFileMode = false;
    const double stringRatio =
        Report("string mode", StringBody,
               Compare(
                   server, StringBody, curlFile, [&] { http.Get(server.url(StringBody)); },
                   [&] { return http.Body.size() == StringBody; }));

    std::printf("lower ratio against curl -s -o (goals: file mode 0.90, string mode 0.80): %.3f\n",
                std::min(fileRatio, stringRatio));
    return 0;
}
