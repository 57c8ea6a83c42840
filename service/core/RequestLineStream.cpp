#include "RequestLineStream.h"

#include <arpa/inet.h>
#include <cerrno>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>

namespace zel::service {

namespace {

void AddressOf(const sockaddr_storage& address, std::string& ip, int& port) {
    char text[INET6_ADDRSTRLEN] = "";
    if (address.ss_family == AF_INET) {
        const auto& v4 = reinterpret_cast<const sockaddr_in&>(address);
        inet_ntop(AF_INET, &v4.sin_addr, text, sizeof text);
        port = ntohs(v4.sin_port);
    } else if (address.ss_family == AF_INET6) {
        const auto& v6 = reinterpret_cast<const sockaddr_in6&>(address);
        inet_ntop(AF_INET6, &v6.sin6_addr, text, sizeof text);
        port = ntohs(v6.sin6_port);
    }
    ip = text;
}

} // namespace

std::string MendRequestLine(const std::string& line, std::string& rawTarget) {
    std::string text = line;
    while (!text.empty() && (text.back() == '\n' || text.back() == '\r'))
        text.pop_back();
    const std::size_t first = text.find(' ');
    const std::size_t last = text.rfind(' ');
    if (first == std::string::npos || last == first)
        return text + "\r\n";
    rawTarget = text.substr(first + 1, last - first - 1);
    std::string target = rawTarget;
    const std::size_t query = target.find('?');
    if (query != std::string::npos)
        for (std::size_t at = target.find('?', query + 1); at != std::string::npos;
             at = target.find('?', at + 3))
            target.replace(at, 1, "%3F");
    return text.substr(0, first + 1) + target + text.substr(last) + "\r\n";
}

RequestLineStream::RequestLineStream(int socket, int readTimeoutSeconds, int writeTimeoutSeconds,
                                     std::size_t maxLineBytes, std::size_t maxRequestBytes)
    : socket_(socket), readTimeoutSeconds_(readTimeoutSeconds),
      writeTimeoutSeconds_(writeTimeoutSeconds), maxLineBytes_(maxLineBytes),
      requestBytesLeft_(maxRequestBytes),
      readDeadline_(std::chrono::steady_clock::now() + std::chrono::seconds(readTimeoutSeconds)) {}

bool RequestLineStream::Wait(short events, int timeoutSeconds) const {
    pollfd watch{socket_, events, 0};
    int ready = 0;
    do
        ready = poll(&watch, 1, timeoutSeconds * 1000);
    while (ready < 0 && errno == EINTR);
    return ready > 0;
}

// Waits for input within what is left of the request's time.
bool RequestLineStream::WaitToRead() const {
    const auto left = std::chrono::duration_cast<std::chrono::seconds>(
        readDeadline_ - std::chrono::steady_clock::now());
    return left.count() > 0 && Wait(POLLIN, static_cast<int>(left.count()));
}

bool RequestLineStream::is_readable() const {
    return !pending_.empty() || WaitToRead();
}

bool RequestLineStream::is_writable() const {
    return Wait(POLLOUT, writeTimeoutSeconds_);
}

// Reads up to the end of the first line; what came after it stays pending.
// A line longer than the limit is handed on cut, and the library refuses it.
void RequestLineStream::ReadRequestLine() {
    lineRead_ = true;
    std::string data;
    std::size_t end = std::string::npos;
    while (end == std::string::npos && data.size() <= maxLineBytes_) {
        if (!WaitToRead())
            break;
        char buffer[4096];
        const ssize_t got = recv(socket_, buffer, sizeof buffer, 0);
        if (got <= 0)
            break;
        data.append(buffer, static_cast<std::size_t>(got));
        requestBytesLeft_ -= std::min(requestBytesLeft_, static_cast<std::size_t>(got));
        end = data.find('\n');
    }
    if (end == std::string::npos || end > maxLineBytes_) {
        pending_ = data.substr(0, std::min(data.size(), maxLineBytes_));
        return;
    }
    pending_ = MendRequestLine(data.substr(0, end + 1), rawTarget_) + data.substr(end + 1);
}

ssize_t RequestLineStream::read(char* ptr, std::size_t size) {
    if (!lineRead_)
        ReadRequestLine();
    if (!pending_.empty()) {
        const std::size_t n = std::min(size, pending_.size());
        pending_.copy(ptr, n);
        pending_.erase(0, n);
        return static_cast<ssize_t>(n);
    }
    if (requestBytesLeft_ == 0 || !WaitToRead())
        return -1;
    ssize_t got = 0;
    do
        got = recv(socket_, ptr, std::min(size, requestBytesLeft_), 0);
    while (got < 0 && errno == EINTR);
    if (got > 0)
        requestBytesLeft_ -= static_cast<std::size_t>(got);
    return got;
}

ssize_t RequestLineStream::write(const char* ptr, std::size_t size) {
    if (!is_writable())
        return -1;
    ssize_t put = 0;
    do
        put = send(socket_, ptr, size, MSG_NOSIGNAL);
    while (put < 0 && errno == EINTR);
    return put;
}

void RequestLineStream::get_remote_ip_and_port(std::string& ip, int& port) const {
    sockaddr_storage address{};
    socklen_t length = sizeof address;
    if (getpeername(socket_, reinterpret_cast<sockaddr*>(&address), &length) == 0)
        AddressOf(address, ip, port);
}

void RequestLineStream::get_local_ip_and_port(std::string& ip, int& port) const {
    sockaddr_storage address{};
    socklen_t length = sizeof address;
    if (getsockname(socket_, reinterpret_cast<sockaddr*>(&address), &length) == 0)
        AddressOf(address, ip, port);
}

} // namespace zel::service
