#include "ServiceTestSupport.h"

#include "Logins.h"

#include <arpa/inet.h>
#include <cstdlib>
#include <fstream>
#include <netinet/in.h>
#include <poll.h>
#include <sstream>
#include <stdexcept>
#include <sys/socket.h>
#include <unistd.h>

namespace fs = std::filesystem;

namespace zel::service::test {

TempDir::TempDir() {
    std::string pattern = (fs::temp_directory_path() / "zelservice-test-XXXXXX").string();
    if (!mkdtemp(pattern.data()))
        throw std::runtime_error("mkdtemp failed");
    path_ = pattern;
}

TempDir::~TempDir() {
    std::error_code ignored;
    fs::remove_all(path_, ignored);
}

int ConnectLoopback(int port, const char* from) {
    const int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    inet_pton(AF_INET, from, &address.sin_addr);
    if (bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
        close(fd);
        return -1;
    }
    address.sin_port = htons(static_cast<uint16_t>(port));
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
        close(fd);
        return -1;
    }
    return fd;
}

RawReply SendRaw(int port, const std::string& request, std::chrono::milliseconds limit) {
    RawReply reply;
    const int fd = ConnectLoopback(port);
    if (fd < 0)
        return reply;
    send(fd, request.data(), request.size(), MSG_NOSIGNAL);
    std::string data;
    const auto deadline = std::chrono::steady_clock::now() + limit;
    for (;;) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
            deadline - std::chrono::steady_clock::now());
        if (left.count() <= 0)
            break;
        pollfd watch{fd, POLLIN, 0};
        if (poll(&watch, 1, static_cast<int>(left.count())) <= 0)
            continue;
        char buffer[65536];
        const ssize_t got = recv(fd, buffer, sizeof buffer, 0);
        if (got <= 0) {
            reply.closed = true;
            break;
        }
        data.append(buffer, static_cast<std::size_t>(got));
    }
    close(fd);
    const std::size_t end = data.find("\r\n\r\n");
    reply.head = data.substr(0, end);
    reply.body = end == std::string::npos ? "" : data.substr(end + 4);
    std::istringstream status(reply.head);
    std::string version;
    status >> version >> reply.status;
    return reply;
}

RawReply Get(int port, const std::string& target, std::chrono::milliseconds limit) {
    return SendRaw(port, "GET " + target + " HTTP/1.0\r\nHost: 127.0.0.1\r\n\r\n", limit);
}

std::string PageTarget(const std::string& login, const std::string& url) {
    return "/zel/page?image=1&login=" + login + "&quality=30&colors=32&gray=0&url=" + url;
}

std::string PollTarget(const std::string& login) {
    return "/zel/poll?login=" + login + "&quality=30&colors=32&gray=0";
}

std::int64_t NumberBetween(const std::string& reply, char first, char second) {
    const auto from = reply.find(first);
    return std::stoll(reply.substr(from + 1, reply.find(second) - from - 1));
}

std::string PollToEnd(int port, const std::string& login, std::string reply, std::int64_t& total) {
    for (int polls = 0; reply.find("NexT") != std::string::npos && polls < 200; ++polls) {
        total += NumberBetween(reply, ';', ':');
        reply = Get(port, PollTarget(login)).body;
    }
    if (reply.rfind("OK,", 0) == 0)
        total += NumberBetween(reply, ';', ':');
    return reply;
}

std::string AskForPage(int port, const std::string& login, const std::string& url,
                       std::int64_t& total) {
    return PollToEnd(port, login, Get(port, PageTarget(login, url)).body, total);
}

std::string AskForPage(int port, const std::string& login, const std::string& url) {
    std::int64_t total = 0;
    return AskForPage(port, login, url, total);
}

PageOutcome ScriptedRunner::Run(const PageRequest& request, const std::string& archivePath,
                                const std::function<void(std::int64_t bytes)>& onFetched,
                                const std::atomic<bool>& cancelled) {
    {
        std::lock_guard lock(mutex_);
        urls_.push_back(request.url);
    }
    return script_(request, archivePath, onFetched, cancelled);
}

std::vector<std::string> ScriptedRunner::Urls() {
    std::lock_guard lock(mutex_);
    return urls_;
}

ScriptedRunner::Script SteppedJob(int chunks, std::int64_t chunk, std::chrono::milliseconds pause,
                                  std::string archive) {
    return [=](const PageRequest&, const std::string& path, const auto& onFetched,
               const std::atomic<bool>& cancelled) {
        for (int i = 0; i < chunks; ++i) {
            if (SleepUnlessCancelled(cancelled, pause))
                return PageOutcome::Failed(FailureKind::Replaced);
            onFetched(chunk);
        }
        WriteFile(path, archive);
        return PageOutcome::Made(chunk * (chunks + 1), static_cast<std::int64_t>(archive.size()));
    };
}

void WriteFile(const std::string& path, const std::string& bytes) {
    std::ofstream out(path, std::ios::binary);
    out << bytes;
}

std::string ReadFile(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

bool SleepUnlessCancelled(const std::atomic<bool>& cancelled, std::chrono::milliseconds limit) {
    const auto deadline = std::chrono::steady_clock::now() + limit;
    while (std::chrono::steady_clock::now() < deadline) {
        if (cancelled)
            return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    return cancelled;
}

ProtocolSettings RunningService::ShortWaits() {
    ProtocolSettings settings;
    settings.pollWait = std::chrono::milliseconds(300);
    return settings;
}

HttpSettings RunningService::AnyLoopbackPort() {
    HttpSettings settings;
    settings.port = 0;
    return settings;
}

RunningService::RunningService(JobRunner& runner, LoginMailer* mailer, ProtocolSettings protocol,
                               HttpSettings http, std::size_t maxWaitingJobs)
    : accounts_((folder_.Path() / "accounts.sqlite").string()), archives_(folder_.Path()),
      log_((folder_.Path() / "access.log").string(), "test key"),
      jobs_(runner, archives_, log_, 2, maxWaitingJobs),
      service_(accounts_, jobs_, archives_, mailer, protocol), front_(service_, std::move(http)) {
    port_ = front_.Bind();
    if (port_ <= 0)
        throw std::runtime_error("cannot bind a loopback port");
    serving_ = std::thread([this] { front_.Serve(); });
    // A stop before the server runs would be lost; wait until it runs.
    for (int i = 0; i < 2000 && !front_.IsServing(); ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
}

RunningService::~RunningService() {
    front_.Stop();
    serving_.join();
}

std::string RunningService::AddLogin() {
    const std::string login = NewLogin();
    accounts_.Add({login, "user@example.org", "test", "127.0.0.1", 0});
    return login;
}

std::string RunningService::AccessLogText() {
    return ReadFile(folder_.Path() / "access.log");
}

} // namespace zel::service::test
