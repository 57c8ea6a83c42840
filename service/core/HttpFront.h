#pragma once
// The service on HTTP (cpp-httplib): one handler reads every request from
// its raw target, in origin or absolute form, and answers the four
// endpoints. Every response closes its connection, since the browser reads
// a reply until the service closes.

#include "ZelService.h"

#include <memory>
#include <string>

namespace httplib {
class Server;
}

namespace zel::service {

struct HttpSettings {
    std::string host = "127.0.0.1";
    int port = 8960; // 0: any free port
    int threads = 32;
    std::size_t maxHeaderBytes = 8192;
    std::size_t maxBodyBytes = 4096;
    int readTimeoutSeconds = 10;
    int writeTimeoutSeconds = 60;
    // Behind a reverse proxy: take the client's address from X-Real-IP.
    bool trustRealIp = false;
};

class HttpFront {
public:
    HttpFront(ZelService& service, HttpSettings settings);
    ~HttpFront();
    HttpFront(const HttpFront&) = delete;
    HttpFront& operator=(const HttpFront&) = delete;

    // Binds the address; returns the port, or -1 when it cannot.
    int Bind();
    // Serves until Stop(); returns false when serving failed.
    bool Serve();
    void Stop();
    bool IsServing() const;

private:
    ZelService& service_;
    HttpSettings settings_;
    std::unique_ptr<httplib::Server> server_;
};

} // namespace zel::service
