#pragma once
// The service on HTTP, event-driven (libmicrohttpd with epoll): one thread
// reads every connection, so an idle or slow client costs a socket and a
// little memory, not a thread. A page request or poll that waits for its job
// is a suspended connection that the job's end or the wait's deadline
// resumes. Nothing that may wait on the account store or the mail server
// runs on that thread: such a request waits, suspended, for a task pool.
// Every request is read from its raw target, in origin or absolute form,
// and every response closes its connection, since the browser reads a reply
// until the service closes.

#include "ClientConnections.h"
#include "DeadlineTimer.h"
#include "HealthCheck.h"
#include "PageParameters.h"
#include "TaskPool.h"
#include "TlsCertificates.h"
#include "TrustedProxies.h"
#include "ZelService.h"

#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>
#include <string>

struct MHD_Daemon;
struct MHD_Connection;

namespace zel::service {

struct HttpSettings {
    std::string host = "127.0.0.1";
    int port = 8960; // 0: any free port
    // Room for the longest page address and the rest of the request line.
    std::size_t maxRequestLineBytes = kMaxAddressLength + 1024;
    std::size_t maxHeaderBytes = 8192; // the header lines after the request line
    // The whole request head must arrive within this time.
    int headSeconds = 5;
    int writeTimeoutSeconds = 60;
    // Open connections from one client address; a trusted proxy's are not
    // counted.
    int connectionsPerClient = 64;
    int loginThreads = 2; // login requests may wait on the mail server
    // HTTPS with this certificate chain and key (PEM files); plain HTTP
    // without.
    std::string tlsCertFile;
    std::string tlsKeyFile;
    // Peers whose X-Real-IP header gives the client's address.
    TrustedProxies trustedProxies;
};

class HttpFront {
public:
    HttpFront(ZelService& service, HttpSettings settings);
    ~HttpFront();
    HttpFront(const HttpFront&) = delete;
    HttpFront& operator=(const HttpFront&) = delete;

    // Binds the address and starts serving; returns the port, or -1 when it
    // cannot. Throws std::runtime_error when the certificate does not load.
    int Bind();
    // Reads the certificate and key again for the connections to come;
    // throws, serving the old ones on, when they do not load. Nothing to do
    // on plain HTTP.
    void ReloadCertificate();
    // Waits until Stop(); returns false when the front never served.
    bool Serve();
    // Answers the waiting requests as busy and closes every connection.
    void Stop();
    bool IsServing() const;
    // Connections held at once: what the open file limit allows.
    unsigned ConnectionLimit() const;

private:
    struct Exchange;
    struct Waits;
    struct Head;
    struct Callbacks; // the library's entry points

    void Handle(MHD_Connection* connection, const std::shared_ptr<Exchange>& exchange,
                std::size_t lineBytesBesideTarget, const std::string& method);
    // Hands a page request, poll or login to the service; its reply comes
    // now or resumes the connection later. Whatever may wait on the account
    // store or the mail server runs off the event thread.
    void AskService(MHD_Connection* connection, const std::shared_ptr<Exchange>& exchange,
                    const std::string& path, const std::string& query);
    // Runs `ask` on `pool`, or here when it cannot wait (null), and holds
    // the connection until its reply.
    void AskAndHold(MHD_Connection* connection, const std::shared_ptr<Exchange>& exchange,
                    TaskPool* pool, std::function<void()> ask);
    // Answers unhealthy when the node does not find out in time.
    void CheckHealth(MHD_Connection* connection, const std::shared_ptr<Exchange>& exchange);
    void SuspendUnlessAnswered(MHD_Connection* connection,
                               const std::shared_ptr<Exchange>& exchange);
    // The peer's address, or the one its X-Real-IP names when the peer is
    // a trusted proxy.
    std::string ClientOf(MHD_Connection* connection) const;
    // Counts a new connection against its client's cap; the peer's address
    // when counted, else empty.
    std::string CountConnection(MHD_Connection* connection, bool& overLimit);

    ZelService& service_;
    HttpSettings settings_;
    std::shared_ptr<Waits> waits_;
    TaskPool logins_;
    TaskPool stores_; // page requests and polls whose login the store must check
    ClientConnections perClient_;
    HealthCheck health_;
    std::unique_ptr<TlsCertificates> tls_;
    DeadlineTimer deadlines_; // of request heads and of health checks
    MHD_Daemon* daemon_ = nullptr;
    mutable std::mutex mutex_;
    std::condition_variable stopped_;
    bool stopping_ = false;
};

} // namespace zel::service
