#pragma once
// Core text is UTF-8; fixed-size fields count bytes. Cutting must not split a
// character, or the stored text would read back with a broken one.

#include <cstddef>
#include <string>

namespace zel {

// The longest prefix of at most `maxBytes` bytes that ends on a character boundary.
inline std::string CutUtf8(const std::string& text, std::size_t maxBytes) {
    if (text.size() <= maxBytes)
        return text;
    std::size_t cut = maxBytes;
    while (cut > 0 && (static_cast<unsigned char>(text[cut]) & 0xC0) == 0x80)
        --cut;
    return text.substr(0, cut);
}

} // namespace zel
