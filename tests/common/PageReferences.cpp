#include "PageReferences.h"

#include <utility>

namespace zel::test {

std::vector<std::string> LocalReferences(const std::string& text, const std::string& folder) {
    std::vector<std::string> found;
    const std::pair<std::string, char> openers[] = {
        {"src=\"", '"'}, {"href=\"", '"'}, {"background=\"", '"'}, {"url(", ')'}};
    for (const auto& [opener, closer] : openers) {
        for (auto at = text.find(opener); at != std::string::npos; at = text.find(opener, at + 1)) {
            const auto begin = at + opener.size();
            std::string value = text.substr(begin, text.find(closer, begin) - begin);
            if (value.size() >= 2 && (value[0] == '"' || value[0] == '\'') &&
                value.back() == value[0])
                value = value.substr(1, value.size() - 2);
            if (!value.empty() && value.find(':') == std::string::npos && value[0] != '#')
                found.push_back(folder + value);
        }
    }
    return found;
}

} // namespace zel::test
