#pragma once
// SHA-256 of bytes, in lower-case hex: names what an origin sent, so equal
// bytes from any address or user find what was made of them.

#include <string>
#include <string_view>

namespace zel::service {

std::string ContentHash(std::string_view bytes);

} // namespace zel::service
