#pragma once
// The texts of the socket error numbers the component reports.

#include <cstdint>

namespace zel {

// nullptr for a number the table does not list.
const char* FindSocketErrorText(std::uint16_t Number);

} // namespace zel
