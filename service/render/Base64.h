#pragma once
// Base64 (RFC 4648, with padding) for response bodies sent to the browser.

#include <string>
#include <string_view>

namespace zel::service {

std::string EncodeBase64(std::string_view bytes);

} // namespace zel::service
