#pragma once
// Core text is UTF-8; fixed-size fields count bytes, text files count
// characters. Cutting must not split a character, or the stored text would
// read back with a broken one.

#include <cstddef>
#include <string>

namespace zel {

inline bool IsUtf8Continuation(char c) {
    return (static_cast<unsigned char>(c) & 0xC0) == 0x80;
}

// The longest prefix of at most `maxBytes` bytes that ends on a character boundary.
inline std::string CutUtf8(const std::string& text, std::size_t maxBytes) {
    if (text.size() <= maxBytes)
        return text;
    std::size_t cut = maxBytes;
    while (cut > 0 && IsUtf8Continuation(text[cut]))
        --cut;
    return text.substr(0, cut);
}

// Bytes taken by the first `chars` characters of `text` (all of it when it
// has fewer).
inline std::size_t Utf8PrefixBytes(const std::string& text, std::size_t chars) {
    std::size_t at = 0;
    for (std::size_t seen = 0; at < text.size(); ++at) {
        if (!IsUtf8Continuation(text[at]) && seen++ == chars)
            break;
    }
    return at;
}

inline std::size_t Utf8Length(const std::string& text) {
    std::size_t chars = 0;
    for (char c : text)
        chars += IsUtf8Continuation(c) ? 0 : 1;
    return chars;
}

// The first `maxChars` characters of `text`.
inline std::string CutUtf8Chars(const std::string& text, std::size_t maxChars) {
    return text.substr(0, Utf8PrefixBytes(text, maxChars));
}

} // namespace zel
