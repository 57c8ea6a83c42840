#include "LoopbackServer.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <stdexcept>

namespace zel::test {

namespace {

constexpr int StepLimitMs = 5000;

int ListenOnLoopback(std::uint16_t& port) {
    int s = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t len = sizeof a;
    if (s < 0 || ::bind(s, reinterpret_cast<sockaddr*>(&a), len) != 0 || ::listen(s, 4) != 0 ||
        ::getsockname(s, reinterpret_cast<sockaddr*>(&a), &len) != 0)
        throw std::runtime_error("loopback server cannot listen");
    port = ntohs(a.sin_port);
    return s;
}

bool Readable(int s, int ms) {
    pollfd p{s, POLLIN, 0};
    return ::poll(&p, 1, ms) > 0;
}

} // namespace

LoopbackServer::LoopbackServer() {
    listener_ = ListenOnLoopback(port_);
}

LoopbackServer::~LoopbackServer() {
    {
        std::lock_guard guard(lock_);
        stop_ = true;
    }
    changed_.notify_all();
    if (thread_.joinable())
        thread_.join();
    ::close(listener_);
}

LoopbackServer& LoopbackServer::send(std::string bytes) {
    steps_.push_back([bytes](int s) { ::send(s, bytes.data(), bytes.size(), MSG_NOSIGNAL); });
    return *this;
}

LoopbackServer& LoopbackServer::pause(int ms) {
    steps_.push_back([ms](int) { std::this_thread::sleep_for(std::chrono::milliseconds(ms)); });
    return *this;
}

LoopbackServer& LoopbackServer::receive(std::size_t bytes) {
    steps_.push_back([this, bytes](int s) {
        auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(StepLimitMs);
        char buffer[65536];
        while (std::chrono::steady_clock::now() < until) {
            {
                std::lock_guard guard(lock_);
                if (received_.size() >= bytes)
                    return;
            }
            if (!Readable(s, 50))
                continue;
            ssize_t n = ::recv(s, buffer, sizeof buffer, 0);
            if (n <= 0)
                return;
            std::lock_guard guard(lock_);
            received_.append(buffer, static_cast<std::size_t>(n));
        }
    });
    return *this;
}

LoopbackServer& LoopbackServer::silent() {
    steps_.push_back([this](int) { waitStopped(60000); });
    return *this;
}

void LoopbackServer::start() {
    thread_ = std::thread([this] { run(); });
}

bool LoopbackServer::waitStopped(int ms) {
    std::unique_lock guard(lock_);
    return changed_.wait_for(guard, std::chrono::milliseconds(ms), [this] { return stop_; });
}

void LoopbackServer::run() {
    int s = -1;
    auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(StepLimitMs);
    while (s < 0 && std::chrono::steady_clock::now() < until) {
        {
            std::lock_guard guard(lock_);
            if (stop_)
                break;
        }
        if (Readable(listener_, 50))
            s = ::accept4(listener_, nullptr, nullptr, SOCK_CLOEXEC);
    }
    if (s >= 0) {
        for (auto& step : steps_)
            step(s);
        ::close(s);
    }
    std::lock_guard guard(lock_);
    done_ = true;
    changed_.notify_all();
}

std::string LoopbackServer::received() {
    std::unique_lock guard(lock_);
    changed_.wait_for(guard, std::chrono::milliseconds(StepLimitMs), [this] { return done_; });
    return received_;
}

std::uint16_t RefusingPort() {
    std::uint16_t port = 0;
    ::close(ListenOnLoopback(port));
    return port;
}

} // namespace zel::test
