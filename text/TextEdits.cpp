#include "TextEdits.h"

namespace zel {

std::string ReplaceAll(const std::string& text, const std::string& from, const std::string& to) {
    if (from.empty())
        return text;
    std::string out;
    std::size_t done = 0;
    for (std::size_t at; (at = text.find(from, done)) != std::string::npos; done = at + from.size())
        out.append(text, done, at - done).append(to);
    return out.append(text, done, std::string::npos);
}

int HexDigit(char c) {
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    return -1;
}

std::string UpperCase(std::string text) {
    for (char& c : text)
        if (c >= 'a' && c <= 'z')
            c = static_cast<char>(c - 'a' + 'A');
    return text;
}

std::string LowerCase(std::string text) {
    for (char& c : text)
        if (c >= 'A' && c <= 'Z')
            c = static_cast<char>(c - 'A' + 'a');
    return text;
}

} // namespace zel
