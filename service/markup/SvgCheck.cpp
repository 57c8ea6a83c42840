#include "SvgCheck.h"

#include "AsciiText.h"
#include "OutputGuard.h"

#include <algorithm>
#include <cctype>
#include <string>

namespace zel::service {
namespace {

// Words whose presence alone leaves the file out: code, markup of other
// kinds, entity definitions (which could spell anything), style sheets
// brought in, and XHTML or its elements.
constexpr std::string_view kRefused[] = {
    "script",   "<!entity", "<!doctype", "foreignobject", "@import", "<?xml-stylesheet",
    "xhtml",    "iframe",   "<embed",    "<object",       "src",     "xml:base",
    "behavior", "binding",  "refresh",   "image-set"};

// Attributes that hold an address, in SVG or in markup it may carry.
constexpr std::string_view kAddresses[] = {
    "href",     "action", "data",   "poster",  "background", "ping",   "manifest",
    "codebase", "lowsrc", "dynsrc", "archive", "classid",    "srcset", "url("};

bool IsQuote(char c) {
    return c == '"' || c == '\'';
}

// The value after `at` (an attribute's "=" or a url's "("), unquoted.
std::string_view ValueAt(std::string_view text, std::size_t at, char end) {
    at = SkipSpace(text, at);
    if (at < text.size() && IsQuote(text[at])) {
        const char quote = text[at];
        const auto close = text.find(quote, at + 1);
        return text.substr(at + 1, close == std::string_view::npos ? std::string_view::npos
                                                                   : close - at - 1);
    }
    const auto close = text.find(end, at);
    return text.substr(at, close == std::string_view::npos ? std::string_view::npos : close - at);
}

// A reference the shown file may keep: a part of itself or inline pixels.
bool IsInertReference(std::string_view value) {
    value = value.substr(SkipSpace(value, 0));
    return value.empty() || value[0] == '#' || value.starts_with("data:image/png") ||
           value.starts_with("data:image/jpeg") || value.starts_with("data:image/gif") ||
           value.starts_with("data:image/webp");
}

// Every `word` followed by "=" (or, for "url(", by its argument) has an
// inert value.
bool ReferencesInert(std::string_view text, std::string_view word) {
    for (auto at = text.find(word); at != std::string_view::npos;
         at = text.find(word, at + word.size())) {
        std::size_t value = at + word.size();
        if (word.back() != '(') {
            value = SkipSpace(text, value);
            if (value >= text.size() || text[value] != '=')
                continue;
            ++value;
        }
        if (!IsInertReference(ValueAt(text, value, word.back() == '(' ? ')' : '>')))
            return false;
    }
    return true;
}

// An attribute named on... (a handler) anywhere: after white space, a
// quote or a slash, more of a name, then "=".
bool HasHandler(std::string_view text) {
    for (auto at = text.find("on"); at != std::string_view::npos; at = text.find("on", at + 2)) {
        if (at == 0 ||
            !(IsAsciiSpace(text[at - 1]) || IsQuote(text[at - 1]) || text[at - 1] == '/'))
            continue;
        std::size_t end = at + 2;
        // A quote inside a name belongs to it, as an HTML parser reads it.
        while (end < text.size() && !IsAsciiSpace(text[end]) &&
               std::string_view("=>/").find(text[end]) == std::string_view::npos)
            ++end;
        if (end > at + 2 && (end = SkipSpace(text, end)) < text.size() && text[end] == '=')
            return true;
    }
    return false;
}

// Animations may move and colour things, never set an address, a handler
// or a style.
bool AnimatesOnlyLooks(std::string_view text) {
    constexpr std::string_view kWord = "attributename";
    for (auto at = text.find(kWord); at != std::string_view::npos;
         at = text.find(kWord, at + kWord.size())) {
        const std::size_t equals = SkipSpace(text, at + kWord.size());
        if (equals >= text.size() || text[equals] != '=')
            continue;
        const std::string_view name = ValueAt(text, equals + 1, '>');
        const std::string_view trimmed = name.substr(SkipSpace(name, 0));
        if (trimmed.starts_with("on") || name.find_first_of("&:") != std::string_view::npos ||
            name.find("href") != std::string_view::npos ||
            name.find("style") != std::string_view::npos)
            return false;
    }
    return true;
}

} // namespace

bool IsInertSvg(std::string_view svg) {
    // Only bytes that mean ASCII as ASCII are read here: no UTF-16 or -32
    // (zero bytes), no switching escapes, no other declared encoding.
    if (svg.find('\0') != std::string_view::npos || svg.find('\x1B') != std::string_view::npos)
        return false;
    const std::string text = Lower(svg);
    if (text.find("encoding") != std::string::npos &&
        text.find("encoding=\"utf-8\"") == std::string::npos &&
        text.find("encoding='utf-8'") == std::string::npos)
        return false;
    if (std::any_of(std::begin(kRefused), std::end(kRefused),
                    [&](std::string_view word) { return text.find(word) != std::string::npos; }))
        return false;
    // Read as HTML too: a browser that takes it for a page parses it so.
    return !HasHandler(text) && AnimatesOnlyLooks(text) &&
           std::all_of(std::begin(kAddresses), std::end(kAddresses),
                       [&](std::string_view word) { return ReferencesInert(text, word); }) &&
           PassesGuard(svg, [](std::string_view) { return false; });
}

} // namespace zel::service
