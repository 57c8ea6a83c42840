#pragma once
// Finds the addresses a style sheet refers to (url(...) tokens and the
// targets of @import) and its style rules, skipping comments and strings, so
// they can be replaced or taken out in place.

#include <cstddef>
#include <optional>
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
    // The selectors of the style rule whose declarations hold it, where
    // that rule stands at the top or within @media, @supports, @layer or
    // @container only; nothing where no selectors alone decide whether it
    // applies (a style attribute, @font-face, @page, keyframes, nesting).
    std::optional<std::string> selectors;
};

// A style rule at the top or within @media, @supports, @layer or @container,
// from its selectors to its closing '}'.
struct CssStyleRule {
    std::size_t begin = 0;
    std::size_t end = 0;
    std::string selectors;
};

// A stretch of a style sheet, [begin, end).
struct CssSpan {
    std::size_t begin = 0;
    std::size_t end = 0;
};

// Each in order of position; style rules never overlap one another.
struct CssScanned {
    std::vector<CssRef> refs;
    std::vector<CssStyleRule> rules;
    // Comments that stand between statements (before a rule, a declaration
    // or a block's end), where taking one out joins no two tokens; "/*!"
    // comments, which by custom hold a licence, are not counted.
    std::vector<CssSpan> comments;
    // Just past the '@' of the last @import or @namespace (0: none). A
    // browser passes over those that follow a style rule.
    std::size_t afterLastImport = 0;
};

CssScanned ScanCss(std::string_view css);
std::vector<CssRef> FindCssRefs(std::string_view css);

// The name at `at` (an identifier, or what follows '#'), escapes read, in
// ASCII lower case; `at` moves past it. Empty when none starts there.
std::string ReadCssName(std::string_view css, std::size_t& at);

} // namespace zel::service
