#pragma once
// Tells the public unicast addresses, which a page may be fetched from, from
// private, loopback, link-local, multicast, documentation and other special
// ranges (IPv4, IPv6, and IPv4 carried inside IPv6).

#include <sys/socket.h>

namespace zel::service {

bool IsPublicAddress(const sockaddr* address);

} // namespace zel::service
