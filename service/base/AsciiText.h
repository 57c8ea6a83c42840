#pragma once
// Case and white space as markup, style sheets and header lines mean them:
// ASCII only, whatever the locale.

#include <string>
#include <string_view>

namespace zel::service {

inline bool IsAsciiSpace(char c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\f';
}

inline std::size_t SkipSpace(std::string_view text, std::size_t at) {
    while (at < text.size() && IsAsciiSpace(text[at]))
        ++at;
    return at;
}

inline std::string Lower(std::string_view text) {
    std::string out(text);
    for (char& c : out)
        if (c >= 'A' && c <= 'Z')
            c = char(c - 'A' + 'a');
    return out;
}

} // namespace zel::service
