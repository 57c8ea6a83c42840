#include "NthWord.h"

namespace zel {

std::string NthWord(const std::string& text, char separator, int n) {
    if (n < 1)
        return {};
    std::size_t start = 0;
    for (int i = 1; i < n; ++i) {
        std::size_t at = text.find(separator, start);
        if (at == std::string::npos)
            return {};
        start = at + 1;
    }
    std::size_t end = text.find(separator, start);
    return text.substr(start, end == std::string::npos ? std::string::npos : end - start);
}

std::size_t NthPos(const std::string& text, char c, int n) {
    std::size_t at = std::string::npos;
    for (int i = 0; i < n; ++i) {
        at = text.find(c, at == std::string::npos ? 0 : at + 1);
        if (at == std::string::npos)
            return text.size() + 1;
    }
    return n < 1 ? text.size() + 1 : at + 1;
}

} // namespace zel
