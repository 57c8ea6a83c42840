#include "LoopbackServer.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cctype>
#include <stdexcept>

namespace zel::test {

namespace {

// A client that stops sending for this long has sent its whole request.
constexpr int QuietMs = 300;
constexpr int PollMs = 20;

std::size_t AnnouncedLength(const std::string& header) {
    std::string lower;
    for (char c : header)
        lower += static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    std::size_t pos = lower.find("\r\ncontent-length: ");
    return pos == std::string::npos ? 0 : std::stoul(header.substr(pos + 18));
}

void SendAll(int fd, const std::string& bytes) {
    std::size_t done = 0;
    while (done < bytes.size()) {
        ssize_t n = ::send(fd, bytes.data() + done, bytes.size() - done, MSG_NOSIGNAL);
        if (n <= 0)
            return; // the client went away; its test sees that
        done += static_cast<std::size_t>(n);
    }
}

} // namespace

LoopbackServer::LoopbackServer(Responder responder, const std::string& address)
    : responder_(std::move(responder)), address_(address) {
    listener_ = ::socket(AF_INET, SOCK_STREAM, 0);
    int yes = 1;
    ::setsockopt(listener_, SOL_SOCKET, SO_REUSEADDR, &yes, sizeof yes);
    sockaddr_in sa{};
    sa.sin_family = AF_INET;
    ::inet_pton(AF_INET, address_.c_str(), &sa.sin_addr);
    if (::bind(listener_, reinterpret_cast<sockaddr*>(&sa), sizeof sa) != 0 ||
        ::listen(listener_, 64) != 0)
        throw std::runtime_error("loopback server cannot listen on " + address_);
    socklen_t len = sizeof sa;
    ::getsockname(listener_, reinterpret_cast<sockaddr*>(&sa), &len);
    port_ = ntohs(sa.sin_port);
    thread_ = std::thread([this] { serve(); });
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
    thread_.join();
    ::close(listener_);
}

std::string LoopbackServer::url(const std::string& path) const {
    return "http://" + address_ + ":" + std::to_string(port_) + path;
}

std::vector<std::string> LoopbackServer::requests() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return requests_;
}

bool LoopbackServer::waitReadable(int fd, int ms) const {
    pollfd p{fd, POLLIN, 0};
    return ::poll(&p, 1, ms) > 0;
}

void LoopbackServer::serve() {
    while (!stop_) {
        if (!waitReadable(listener_, PollMs))
            continue;
        int client = ::accept(listener_, nullptr, nullptr);
        if (client < 0)
            continue;
        handle(client);
        ::close(client);
    }
}

void LoopbackServer::handle(int client) {
    int index = connections_++;
    std::string request = readRequest(client);
    {
        std::lock_guard<std::mutex> lock(mutex_);
        requests_.push_back(request);
    }
    Reply reply = responder_(index, request);
    SendAll(client, reply.bytes);
    if (!reply.holdOpen)
        return;
    char sink[4096];
    while (!stop_) {
        if (waitReadable(client, PollMs) && ::recv(client, sink, sizeof sink, 0) <= 0)
            return;
    }
}

std::string LoopbackServer::readRequest(int client) {
    std::string bytes;
    std::size_t wanted = std::string::npos; // header end + body length, once known
    int quiet = 0;
    while (!stop_ && bytes.size() < wanted && quiet < QuietMs) {
        if (!waitReadable(client, PollMs)) {
            quiet += PollMs;
            continue;
        }
        char buffer[65536];
        ssize_t n = ::recv(client, buffer, sizeof buffer, 0);
        if (n <= 0)
            break;
        quiet = 0;
        bytes.append(buffer, static_cast<std::size_t>(n));
        std::size_t end = bytes.find("\r\n\r\n");
        if (wanted == std::string::npos && end != std::string::npos)
            wanted = end + 4 + AnnouncedLength(bytes.substr(0, end + 2));
    }
    return bytes;
}

std::string Response(const std::string& statusLine, const std::vector<std::string>& headerLines,
                     const std::string& body) {
    std::string text = statusLine + "\r\n";
    for (const std::string& line : headerLines)
        text += line + "\r\n";
    return text + "\r\n" + body;
}

} // namespace zel::test
