#pragma once
// Finds the addresses a style sheet refers to: url(...) tokens and the targets
// of @import, skipping comments and strings, so they can be replaced in place.

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace zel::service {

enum class CssRefKind {
    Import, // another style sheet
    Font,   // inside @font-face
    Image,  // anything else: backgrounds, list markers, cursors ...
};

struct CssRef {
    std::size_t begin = 0; // the whole url(...) token or the @import string
    std::size_t end = 0;
    std::string url; // unquoted and unescaped
    CssRefKind kind = CssRefKind::Image;
};

std::vector<CssRef> FindCssRefs(std::string_view css);

} // namespace zel::service
