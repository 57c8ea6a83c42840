#include "Charset.h"

#include "AsciiText.h"

#include <algorithm>
#include <cctype>

namespace zel::service {
namespace {

bool IsCharsetChar(char c) {
    return std::isalnum(static_cast<unsigned char>(c)) || c == '-' || c == '_' || c == '.' ||
           c == ':';
}

bool IsValidUtf8(std::string_view text) {
    std::size_t i = 0;
    while (i < text.size()) {
        const unsigned char c = text[i];
        const int follow = c < 0x80         ? 0
                           : (c >> 5) == 6  ? 1
                           : (c >> 4) == 14 ? 2
                           : (c >> 3) == 30 ? 3
                                            : -1;
        if (follow < 0 || i + follow >= text.size() + (follow == 0 ? 1 : 0))
            return false; // not a lead byte, or cut off at the end
        for (int k = 1; k <= follow; ++k)
            if ((static_cast<unsigned char>(text[i + k]) >> 6) != 2)
                return false;
        i += follow + 1;
    }
    return true;
}

std::string CharsetInMeta(std::string_view html) {
    // Browsers look for the declaration in the first 1024 bytes.
    const std::string head = Lower(html.substr(0, 1024));
    const auto at = head.find("charset=");
    if (at == std::string::npos || head.rfind("<meta", at) == std::string::npos)
        return {};
    std::string name;
    for (std::size_t i = at + 8; i < head.size(); ++i) {
        const char c = head[i];
        if ((c == '"' || c == '\'') && name.empty())
            continue;
        if (!IsCharsetChar(c))
            break;
        name += c;
    }
    return name;
}

} // namespace

bool IsCharsetName(const std::string& name) {
    return !name.empty() && name.size() <= 40 &&
           std::all_of(name.begin(), name.end(), IsCharsetChar);
}

std::string ChooseCharset(std::string_view html, const std::string& fromHeader) {
    if (html.substr(0, 3) == "\xEF\xBB\xBF" || html.substr(0, 2) == "\xFF\xFE" ||
        html.substr(0, 2) == "\xFE\xFF")
        return {};
    if (IsCharsetName(fromHeader))
        return fromHeader;
    if (const std::string declared = CharsetInMeta(html); IsCharsetName(declared))
        return declared;
    return IsValidUtf8(html) ? "utf-8" : "windows-1252";
}

} // namespace zel::service
