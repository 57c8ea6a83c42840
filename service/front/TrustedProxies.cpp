#include "TrustedProxies.h"

#include <arpa/inet.h>
#include <charconv>
#include <cstring>
#include <netinet/in.h>
#include <stdexcept>

namespace zel::service {

namespace {

constexpr int kMappedPrefixBits = 96; // ::ffff:a.b.c.d

std::array<unsigned char, 16> Mapped(const in_addr& v4) {
    std::array<unsigned char, 16> bytes{};
    bytes[10] = bytes[11] = 0xff;
    std::memcpy(bytes.data() + 12, &v4, 4);
    return bytes;
}

bool SamePrefix(const std::array<unsigned char, 16>& a, const std::array<unsigned char, 16>& b,
                int bits) {
    const int whole = bits / 8;
    if (std::memcmp(a.data(), b.data(), static_cast<std::size_t>(whole)) != 0)
        return false;
    const int rest = bits % 8;
    const auto mask = static_cast<unsigned char>(0xff << (8 - rest));
    return rest == 0 || ((a[whole] ^ b[whole]) & mask) == 0;
}

} // namespace

void TrustedProxies::Add(const std::string& text) {
    const auto wrong = [&] {
        return std::invalid_argument("--trusted-proxy takes ADDR or ADDR/BITS, not '" + text + "'");
    };
    const std::size_t slash = text.find('/');
    const std::string address = text.substr(0, slash);
    Network network{{}, 128, text};
    in_addr v4{};
    in6_addr v6{};
    int widest = 128;
    if (inet_pton(AF_INET, address.c_str(), &v4) == 1) {
        network.bytes = Mapped(v4);
        widest = 32;
    } else if (inet_pton(AF_INET6, address.c_str(), &v6) == 1) {
        std::memcpy(network.bytes.data(), &v6, 16);
    } else {
        throw wrong();
    }
    int bits = widest;
    if (slash != std::string::npos) {
        const char* first = text.data() + slash + 1;
        const char* last = text.data() + text.size();
        const auto [end, error] = std::from_chars(first, last, bits);
        if (first == last || error != std::errc() || end != last || bits < 0 || bits > widest)
            throw wrong();
    }
    network.bits = bits + (widest == 32 ? kMappedPrefixBits : 0);
    networks_.push_back(std::move(network));
}

bool TrustedProxies::Contains(const sockaddr* address) const {
    std::array<unsigned char, 16> peer{};
    if (address && address->sa_family == AF_INET)
        peer = Mapped(reinterpret_cast<const sockaddr_in*>(address)->sin_addr);
    else if (address && address->sa_family == AF_INET6)
        std::memcpy(peer.data(), &reinterpret_cast<const sockaddr_in6*>(address)->sin6_addr, 16);
    else
        return false;
    for (const Network& network : networks_)
        if (SamePrefix(peer, network.bytes, network.bits))
            return true;
    return false;
}

std::string TrustedProxies::Text() const {
    std::string text;
    for (const Network& network : networks_)
        text += (text.empty() ? "" : " ") + network.text;
    return text.empty() ? "none" : text;
}

} // namespace zel::service
