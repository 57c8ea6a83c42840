#include "LoopbackServer.h"

#include "TextEdits.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <stdexcept>

namespace zel::test {

namespace {

using Clock = std::chrono::steady_clock;

constexpr int PollMs = 20;
constexpr int StepLimitMs = 5000;
constexpr int SilenceLimitMs = 60000;
// A client that stops sending for this long has sent its whole request.
constexpr int QuietMs = 300;

int ListenOn(const std::string& address, std::uint16_t& port) {
    int s = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    socklen_t len = sizeof a;
    if (s < 0 || ::inet_pton(AF_INET, address.c_str(), &a.sin_addr) != 1 ||
        ::bind(s, reinterpret_cast<sockaddr*>(&a), len) != 0 || ::listen(s, 64) != 0 ||
        ::getsockname(s, reinterpret_cast<sockaddr*>(&a), &len) != 0)
        throw std::runtime_error("loopback server cannot listen on " + address);
    port = ntohs(a.sin_port);
    return s;
}

bool Readable(int s, int ms) {
    pollfd p{s, POLLIN, 0};
    return ::poll(&p, 1, ms) > 0;
}

void SendAll(int s, const std::string& bytes) {
    std::size_t done = 0;
    while (done < bytes.size()) {
        ssize_t n = ::send(s, bytes.data() + done, bytes.size() - done, MSG_NOSIGNAL);
        if (n <= 0)
            return; // the client went away; its test sees that
        done += static_cast<std::size_t>(n);
    }
}

std::size_t AnnouncedLength(const std::string& header) {
    const std::string lower = LowerCase(header);
    std::size_t pos = lower.find("\r\ncontent-length: ");
    return pos == std::string::npos ? 0 : std::stoul(header.substr(pos + 18));
}

} // namespace

LoopbackServer::LoopbackServer() : address_("127.0.0.1") {
    listener_ = ListenOn(address_, port_);
}

LoopbackServer::LoopbackServer(Responder responder, const std::string& address)
    : address_(address) {
    listener_ = ListenOn(address_, port_);
    steps_.push_back([this, responder = std::move(responder)](int s, int index) {
        readRequest(s, index);
        Reply reply = responder(index, record(index));
        SendAll(s, reply.bytes);
        if (reply.holdOpen)
            awaitClose(s);
    });
    start();
}

LoopbackServer::LoopbackServer(std::vector<std::string> replies, const std::string& address)
    : LoopbackServer(
          [replies](int index, const std::string&) {
              std::size_t i = std::min(static_cast<std::size_t>(index), replies.size() - 1);
              return Reply{replies[i]};
          },
          address) {}

LoopbackServer::~LoopbackServer() {
    stop_ = true;
    if (thread_.joinable())
        thread_.join();
    ::close(listener_);
}

LoopbackServer& LoopbackServer::send(std::string bytes) {
    steps_.push_back([bytes = std::move(bytes)](int s, int) { SendAll(s, bytes); });
    return *this;
}

LoopbackServer& LoopbackServer::pause(int ms) {
    steps_.push_back(
        [ms](int, int) { std::this_thread::sleep_for(std::chrono::milliseconds(ms)); });
    return *this;
}

LoopbackServer& LoopbackServer::receive(std::size_t bytes) {
    steps_.push_back([this, bytes](int s, int index) {
        const auto until = Clock::now() + std::chrono::milliseconds(StepLimitMs);
        std::size_t got = record(index).size();
        while (got < bytes && !stop_ && Clock::now() < until) {
            int n = readSome(s, index, PollMs);
            if (n < 0)
                return;
            got += static_cast<std::size_t>(n);
        }
    });
    return *this;
}

LoopbackServer& LoopbackServer::silent() {
    steps_.push_back([this](int s, int) { awaitClose(s); });
    return *this;
}

void LoopbackServer::start() {
    thread_ = std::thread([this] { serve(); });
}

std::string LoopbackServer::url(const std::string& path) const {
    return "http://" + address_ + ":" + std::to_string(port_) + path;
}

std::vector<std::string> LoopbackServer::requests() const {
    std::lock_guard guard(lock_);
    return records_;
}

int LoopbackServer::connections() const {
    std::lock_guard guard(lock_);
    return static_cast<int>(records_.size());
}

std::string LoopbackServer::received() {
    std::unique_lock guard(lock_);
    changed_.wait_for(guard, std::chrono::milliseconds(StepLimitMs),
                      [this] { return finished_ > 0; });
    return records_.empty() ? std::string() : records_[0];
}

void LoopbackServer::serve() {
    while (!stop_) {
        if (!Readable(listener_, PollMs))
            continue;
        int s = ::accept4(listener_, nullptr, nullptr, SOCK_CLOEXEC);
        if (s >= 0)
            play(s);
    }
}

void LoopbackServer::play(int s) {
    int index;
    {
        std::lock_guard guard(lock_);
        index = static_cast<int>(records_.size());
        records_.emplace_back();
    }
    for (const Step& step : steps_)
        step(s, index);
    ::close(s);
    {
        std::lock_guard guard(lock_);
        ++finished_;
    }
    changed_.notify_all();
}

int LoopbackServer::readSome(int s, int index, int ms) {
    if (!Readable(s, ms))
        return 0;
    char buffer[65536];
    ssize_t n = ::recv(s, buffer, sizeof buffer, 0);
    if (n <= 0)
        return -1;
    std::lock_guard guard(lock_);
    records_[static_cast<std::size_t>(index)].append(buffer, static_cast<std::size_t>(n));
    return static_cast<int>(n);
}

void LoopbackServer::readRequest(int s, int index) {
    std::size_t wanted = std::string::npos; // header end + body length, once known
    for (int quiet = 0; quiet < QuietMs && !stop_;) {
        int n = readSome(s, index, PollMs);
        if (n < 0)
            return;
        if (n == 0) {
            quiet += PollMs;
            continue;
        }
        quiet = 0;
        const std::string bytes = record(index);
        std::size_t end = bytes.find("\r\n\r\n");
        if (wanted == std::string::npos && end != std::string::npos)
            wanted = end + 4 + AnnouncedLength(bytes.substr(0, end + 2));
        if (bytes.size() >= wanted)
            return;
    }
}

void LoopbackServer::awaitClose(int s) const {
    // POLLRDHUP alone: bytes the client sends stay unread and do not end the wait.
    pollfd p{s, POLLRDHUP, 0};
    const auto until = Clock::now() + std::chrono::milliseconds(SilenceLimitMs);
    while (!stop_ && Clock::now() < until)
        if (::poll(&p, 1, PollMs) > 0)
            return;
}

std::string LoopbackServer::record(int index) const {
    std::lock_guard guard(lock_);
    return records_[static_cast<std::size_t>(index)];
}

std::uint16_t RefusingPort() {
    std::uint16_t port = 0;
    ::close(ListenOn("127.0.0.1", port));
    return port;
}

} // namespace zel::test
