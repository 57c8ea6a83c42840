#include "AddressCheck.h"

#include <arpa/inet.h>
#include <netinet/in.h>

#include <array>
#include <cstdint>
#include <cstring>

namespace zel::service {
namespace {

struct V4Range {
    std::uint32_t net;
    int bits;
};

constexpr std::uint32_t V4(int a, int b, int c, int d) {
    return (std::uint32_t(a) << 24) | (std::uint32_t(b) << 16) | (std::uint32_t(c) << 8) |
           std::uint32_t(d);
}

constexpr std::array<V4Range, 16> kSpecialV4{{
    {V4(0, 0, 0, 0), 8},       // "this" network
    {V4(10, 0, 0, 0), 8},      // private
    {V4(100, 64, 0, 0), 10},   // carrier-grade NAT
    {V4(127, 0, 0, 0), 8},     // loopback
    {V4(169, 254, 0, 0), 16},  // link-local
    {V4(172, 16, 0, 0), 12},   // private
    {V4(192, 0, 0, 0), 24},    // protocol assignments
    {V4(192, 0, 2, 0), 24},    // documentation
    {V4(192, 88, 99, 0), 24},  // 6to4 relay
    {V4(192, 168, 0, 0), 16},  // private
    {V4(198, 18, 0, 0), 15},   // benchmarking
    {V4(198, 51, 100, 0), 24}, // documentation
    {V4(203, 0, 113, 0), 24},  // documentation
    {V4(224, 0, 0, 0), 4},     // multicast
    {V4(240, 0, 0, 0), 4},     // reserved and broadcast
    {V4(255, 255, 255, 255), 32},
}};

bool IsPublicV4(std::uint32_t address) {
    for (const V4Range& range : kSpecialV4) {
        const std::uint32_t mask = range.bits == 0 ? 0 : ~std::uint32_t(0) << (32 - range.bits);
        if ((address & mask) == range.net)
            return false;
    }
    return true;
}

std::uint32_t V4At(const std::uint8_t* bytes) {
    return (std::uint32_t(bytes[0]) << 24) | (std::uint32_t(bytes[1]) << 16) |
           (std::uint32_t(bytes[2]) << 8) | std::uint32_t(bytes[3]);
}

bool StartsWith(const std::uint8_t* bytes, std::initializer_list<std::uint8_t> prefix) {
    return std::memcmp(bytes, prefix.begin(), prefix.size()) == 0;
}

bool IsPublicV6(const std::uint8_t* b) {
    static const std::uint8_t zero[10] = {};
    // ::/96 (unspecified, loopback, IPv4-compatible) and ::ffff:0:0/96 (mapped).
    if (std::memcmp(b, zero, 10) == 0) {
        if (b[10] == 0xff && b[11] == 0xff)
            return IsPublicV4(V4At(b + 12));
        return false;
    }
    if (StartsWith(b, {0x00, 0x64, 0xff, 0x9b, 0, 0, 0, 0, 0, 0, 0, 0})) // NAT64
        return IsPublicV4(V4At(b + 12));
    if (StartsWith(b, {0x20, 0x02})) // 6to4 carries the IPv4 address next
        return IsPublicV4(V4At(b + 2));
    if (StartsWith(b, {0x00, 0x64, 0xff, 0x9b, 0x00, 0x01})) // local NAT64
        return false;
    if (StartsWith(b, {0x01, 0x00, 0, 0, 0, 0, 0, 0})) // discard
        return false;
    if (b[0] == 0x20 && b[1] == 0x01 && b[2] < 0x02) // IETF assignments, Teredo
        return false;
    if (StartsWith(b, {0x20, 0x01, 0x0d, 0xb8})) // documentation
        return false;
    if (b[0] == 0x3f && b[1] == 0xff && (b[2] & 0xf0) == 0) // documentation
        return false;
    if ((b[0] & 0xfe) == 0xfc) // unique local
        return false;
    if (b[0] == 0xfe && (b[1] & 0xc0) == 0x80) // link-local
        return false;
    if (b[0] == 0xfe && (b[1] & 0xc0) == 0xc0) // site-local
        return false;
    if (b[0] == 0xff) // multicast
        return false;
    // Only the global unicast block 2000::/3 is routed on the internet.
    return (b[0] & 0xe0) == 0x20;
}

} // namespace

bool IsPublicAddress(const sockaddr* address) {
    if (address->sa_family == AF_INET) {
        const auto* v4 = reinterpret_cast<const sockaddr_in*>(address);
        return IsPublicV4(ntohl(v4->sin_addr.s_addr));
    }
    if (address->sa_family == AF_INET6) {
        const auto* v6 = reinterpret_cast<const sockaddr_in6*>(address);
        return IsPublicV6(v6->sin6_addr.s6_addr);
    }
    return false;
}

} // namespace zel::service
