#pragma once
// A web origin for the tests: cpp-httplib on a loopback address and a port of
// its own, serving from a thread of the test. Tests add their handlers first.

#include <httplib.h>

#include <atomic>
#include <map>
#include <mutex>
#include <string>
#include <thread>

namespace zel::service::test {

// A body compressed for a reply sent with "Content-Encoding: gzip".
std::string Gzip(const std::string& text);

class OriginServer {
public:
    explicit OriginServer(std::string host = "127.0.0.1");
    ~OriginServer();

    httplib::Server& Http() { return server_; }
    // Starts serving; call after the handlers are in place.
    void Start();
    std::string Url(const std::string& path) const;

    // A fixed reply for a path, counted per request.
    void Serve(const std::string& path, const std::string& body, const std::string& type,
               const std::map<std::string, std::string>& headers = {});
    int Hits(const std::string& path) const;

private:
    std::string host_;
    httplib::Server server_;
    std::thread thread_;
    int port_ = 0;
    mutable std::mutex mutex_;
    std::map<std::string, int> hits_;
};

} // namespace zel::service::test
