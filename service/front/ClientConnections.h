#pragma once
// Open connections per client address, for a cap on them that spares the
// service's own proxies (the library's cap would count every peer alike).

#include <mutex>
#include <string>
#include <unordered_map>

namespace zel::service {

class ClientConnections {
public:
    explicit ClientConnections(unsigned limit) : limit_(limit) {}

    // Counts a connection from `client`; false when that is over the limit.
    // It counts either way, until Closed().
    bool Opened(const std::string& client);
    void Closed(const std::string& client);

private:
    const unsigned limit_;
    std::mutex mutex_;
    std::unordered_map<std::string, unsigned> open_;
};

} // namespace zel::service
