#pragma once
// A scripted HTTP server on a loopback address for the client's tests. It
// runs on a thread of its own (the client waits on the test's thread),
// records the exact bytes of every request (header block and, by its
// Content-Length, the body) and answers each connection with the reply the
// responder gives for it. Every wait is bounded, and the destructor stops
// the thread.

#include <atomic>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace zel::test {

struct Reply {
    std::string bytes;
    // Keep the connection open after the reply until the client closes it.
    bool holdOpen = false;
};

class LoopbackServer {
public:
    // index counts connections from 0; request holds the bytes received.
    using Responder = std::function<Reply(int index, const std::string& request)>;

    explicit LoopbackServer(Responder responder, const std::string& address = "127.0.0.1");
    // Every connection gets the next of `replies`; the last one repeats.
    explicit LoopbackServer(std::vector<std::string> replies,
                            const std::string& address = "127.0.0.1");
    ~LoopbackServer();
    LoopbackServer(const LoopbackServer&) = delete;
    LoopbackServer& operator=(const LoopbackServer&) = delete;

    int port() const { return port_; }
    const std::string& address() const { return address_; }
    // "http://<address>:<port>" followed by `path`.
    std::string url(const std::string& path) const;
    std::vector<std::string> requests() const;
    int connections() const { return connections_; }

private:
    void serve();
    void handle(int client);
    std::string readRequest(int client);
    bool waitReadable(int fd, int ms) const;

    Responder responder_;
    std::string address_;
    int listener_ = -1;
    int port_ = 0;
    std::atomic<bool> stop_{false};
    std::atomic<int> connections_{0};
    mutable std::mutex mutex_;
    std::vector<std::string> requests_;
    std::thread thread_;
};

// A whole response: status line, header lines, empty line, body; CR LF ends.
std::string Response(const std::string& statusLine, const std::vector<std::string>& headerLines,
                     const std::string& body);

} // namespace zel::test
