#pragma once
// The four addresses of the compressing service: build configuration
// (ZEL_SERVICE_URL gives the base), no secret. The build stores them
// exclusive-or a one-byte key, which keeps them out of a plain-text look at
// the executable and protects nothing; an https base is what protects the
// traffic. GUI-free.

#include <cstdint>
#include <string>

namespace zel {

// Every byte of `stored` exclusive-or `key`; an empty text gives an empty one.
std::string UnscrambleText(const std::string& stored, std::uint8_t key);

// <base>/zel/page: the first request of a page, with its parameters.
std::string PageRequestEndpoint();
// <base>/zel/poll: the polls while the service prepares the page.
std::string LoginCheckEndpoint();
// <base>/zel/arch/: the archive segments; the login follows directly.
std::string ArchiveEndpoint();
// <base>/zel/login: the request for a new login.
std::string LoginRequestEndpoint();

// Points the endpoints at another base address, e.g. a test's loopback
// service; an empty text gives the built one back. Not a user setting: the
// program has none besides its settings file, and only tests and benchmarks
// call this.
void SetServiceBaseForTesting(const std::string& base);

} // namespace zel
