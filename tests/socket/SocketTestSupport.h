#pragma once
// Shared pieces of the socket tests: a component connected to a loopback
// server, and running the event loop for a while.

#include "EventWait.h"
#include "FailureOf.h"
#include "LoopbackServer.h"
#include "TBrumel.h"

#include <QElapsedTimer>

#include <memory>

namespace zel::test {

// Exposes the protected operations to the tests.
class TestBrumel : public TBrumel {
public:
    using TBrumel::CheckSocketError;
    using TBrumel::SocketErrorText;
    using TBrumel::TBrumel;
};

inline void Aim(TBrumel& b, const std::string& host, std::uint16_t port, int timeOutMs = 2000) {
    b.Host = host;
    b.Port = port;
    b.TimeOut = timeOutMs;
}

inline std::unique_ptr<TestBrumel> ConnectedTo(LoopbackServer& server, int timeOutMs = 2000) {
    server.start();
    auto b = std::make_unique<TestBrumel>();
    Aim(*b, "127.0.0.1", server.port(), timeOutMs);
    b->Connect();
    return b;
}

// A server that accepts and then says nothing.
inline void StartSilent(LoopbackServer& server) {
    server.silent();
    server.start();
}

// Handles events for `ms` milliseconds.
inline void RunEventsFor(int ms) {
    WaitUntil([] { return false; }, ms);
}

} // namespace zel::test
