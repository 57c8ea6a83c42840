#pragma once
// A scripted TCP server on a loopback address for the socket and HTTP tests.
// It serves on a thread of its own (the component under test waits on the
// test's thread), one connection after another, and plays the same script on
// each: send, pause, read, stay silent; the HTTP servers read a whole request
// and send the reply a responder gives for it. What the client sent on every
// connection is recorded. Every wait is bounded, and the destructor ends a
// server that is still waiting.

#include <atomic>
#include <condition_variable>
#include <cstdint>
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

    // A server on 127.0.0.1 that serves once its script is written and start() called.
    LoopbackServer();
    // An HTTP server, serving at once: it reads each request (the header
    // block and, by its Content-Length, the body) and answers it.
    explicit LoopbackServer(Responder responder, const std::string& address = "127.0.0.1");
    // Every connection gets the next of `replies`; the last one repeats.
    explicit LoopbackServer(std::vector<std::string> replies,
                            const std::string& address = "127.0.0.1");
    ~LoopbackServer();
    LoopbackServer(const LoopbackServer&) = delete;
    LoopbackServer& operator=(const LoopbackServer&) = delete;

    // Script steps, played in order on each connection.
    LoopbackServer& send(std::string bytes);
    LoopbackServer& pause(int ms);
    // Reads until `bytes` bytes in all have arrived on the connection (or 5 s pass).
    LoopbackServer& receive(std::size_t bytes);
    // Stays connected and reads nothing until the client closes or the server ends.
    LoopbackServer& silent();

    // Starts serving; the port is known from construction on.
    void start();
    std::uint16_t port() const { return port_; }
    const std::string& address() const { return address_; }
    // "http://<address>:<port>" followed by `path`.
    std::string url(const std::string& path) const;

    // What the client sent on each connection so far, in the order of connections.
    std::vector<std::string> requests() const;
    int connections() const;
    // What the client sent on the first connection, once its script has ended.
    std::string received();

private:
    using Step = std::function<void(int socket, int index)>;

    void serve();
    void play(int socket);
    // Waits up to `ms` for bytes and records what comes: the count read, 0
    // when nothing came, -1 when the client closed or failed.
    int readSome(int socket, int index, int ms);
    void readRequest(int socket, int index);
    void awaitClose(int socket) const;
    std::string record(int index) const;

    std::string address_;
    std::uint16_t port_ = 0;
    int listener_ = -1;
    std::vector<Step> steps_;
    std::thread thread_;
    std::atomic<bool> stop_{false};
    mutable std::mutex lock_;
    std::condition_variable changed_;
    std::vector<std::string> records_;
    int finished_ = 0; // connections whose script has ended
};

// A loopback port on which nothing listens: connecting there is refused.
std::uint16_t RefusingPort();

} // namespace zel::test
