#pragma once
// Image formats stored as they came, without recompressing: SVG and AVIF,
// and only when their first bytes say so.

#include <string_view>

namespace zel::service {

// "svg" or "avif" for such an image, else empty.
std::string_view PassedImageExtension(std::string_view bytes);

} // namespace zel::service
