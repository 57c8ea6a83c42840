#pragma once
// A scripted TCP server on 127.0.0.1 for the socket tests: it accepts one
// connection on a thread of its own and plays its steps (send, pause, read,
// stay silent), then closes. Every step is bounded in time, and the
// destructor ends a server that is still waiting.

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace zel::test {

class LoopbackServer {
public:
    LoopbackServer();
    ~LoopbackServer();
    LoopbackServer(const LoopbackServer&) = delete;
    LoopbackServer& operator=(const LoopbackServer&) = delete;

    // Script steps, played in order after the connection is accepted.
    LoopbackServer& send(std::string bytes);
    LoopbackServer& pause(int ms);
    // Reads until `bytes` bytes in all have arrived (or 5 s pass).
    LoopbackServer& receive(std::size_t bytes);
    // Stays connected and silent until the server is destroyed.
    LoopbackServer& silent();

    // Starts accepting; the port is known from construction on.
    void start();
    std::uint16_t port() const { return port_; }
    // Everything the client sent, once the script has ended.
    std::string received();

private:
    void run();
    bool waitStopped(int ms);

    int listener_ = -1;
    std::uint16_t port_ = 0;
    std::vector<std::function<void(int)>> steps_;
    std::thread thread_;
    std::mutex lock_;
    std::condition_variable changed_;
    bool stop_ = false;
    bool done_ = false;
    std::string received_;
};

// A loopback port on which nothing listens: connecting there is refused.
std::uint16_t RefusingPort();

} // namespace zel::test
