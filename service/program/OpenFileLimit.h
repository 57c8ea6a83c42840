#pragma once
// The open file limit of this process: every connection of the HTTP front
// holds a file descriptor.

#include <cstdint>

namespace zel::service {

// Raises the soft limit to the hard one; returns the limit now in force.
std::uint64_t RaiseOpenFileLimit();

} // namespace zel::service
