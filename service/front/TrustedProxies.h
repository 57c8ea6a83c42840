#pragma once
// The peers whose X-Real-IP header names the client: the service's own
// reverse proxies, given as addresses or networks (ADDR[/BITS], IPv4 or
// IPv6). A header from any other peer is the client's own word and is
// ignored, so a client that reaches the service directly cannot pick the
// address its limits count against.

#include <array>
#include <string>
#include <vector>

struct sockaddr;

namespace zel::service {

class TrustedProxies {
public:
    // Adds "ADDR" or "ADDR/BITS"; throws std::invalid_argument naming the
    // text when it is neither.
    void Add(const std::string& text);
    bool Contains(const sockaddr* address) const;
    bool Empty() const { return networks_.empty(); }
    // As given, separated by blanks; "none" when empty.
    std::string Text() const;

private:
    // IPv4 is held as IPv4-mapped IPv6, so either form of a peer matches.
    struct Network {
        std::array<unsigned char, 16> bytes;
        int bits;
        std::string text;
    };
    std::vector<Network> networks_;
};

} // namespace zel::service
