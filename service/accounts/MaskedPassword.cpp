#include "MaskedPassword.h"

#include <algorithm>
#include <cctype>

namespace zel::service {

namespace {

constexpr const char* kMask = "***";

bool EndsWord(char c) {
    return std::isspace(static_cast<unsigned char>(c)) || c == '"' || c == '\'';
}

// The user part of each URI: up to the last "@" before its query, so a
// password with an unescaped "@" or "/" is hidden whole.
std::string MaskUserParts(std::string text) {
    for (std::size_t scheme = text.find("://"); scheme != std::string::npos;
         scheme = text.find("://", scheme + 3)) {
        const std::size_t start = scheme + 3;
        std::size_t end = start;
        while (end < text.size() && !EndsWord(text[end]) && text[end] != '?')
            ++end;
        const std::size_t at = text.rfind('@', end == start ? start : end - 1);
        if (at == std::string::npos || at < start)
            continue;
        const std::size_t colon = text.find(':', start);
        if (colon < at)
            text.replace(colon + 1, at - colon - 1, kMask);
    }
    return text;
}

// Every "password=value", "sslpassword=value" and the like; a quoted value
// runs to its closing quote.
std::string MaskSettings(std::string text) {
    const std::string key = "password=";
    std::string lower = text;
    std::transform(lower.begin(), lower.end(), lower.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    std::string out;
    std::size_t done = 0;
    for (std::size_t found = lower.find(key); found != std::string::npos;
         found = lower.find(key, done)) {
        const std::size_t start = found + key.size();
        std::size_t end = start;
        if (end < text.size() && text[end] == '\'') {
            for (++end; end < text.size() && text[end] != '\''; ++end)
                end += text[end] == '\\' ? 1 : 0;
            end = std::min(end + 1, text.size());
        } else {
            while (end < text.size() && !EndsWord(text[end]) && text[end] != '&')
                ++end;
        }
        out += text.substr(done, start - done) + kMask;
        done = end;
    }
    return out + text.substr(std::min(done, text.size()));
}

} // namespace

std::string MaskPassword(const std::string& text) {
    return MaskSettings(MaskUserParts(text));
}

} // namespace zel::service
