#include "PageReferences.h"

namespace zel::test {

std::vector<std::string> LocalReferences(const std::string& text, const std::string& folder) {
    std::vector<std::string> found;
    for (const std::string opener : {"src=\"", "href=\"", "background=\"", "url(\""}) {
        for (auto at = text.find(opener); at != std::string::npos; at = text.find(opener, at + 1)) {
            const auto begin = at + opener.size();
            const std::string value = text.substr(begin, text.find('"', begin) - begin);
            if (!value.empty() && value.find(':') == std::string::npos && value[0] != '#')
                found.push_back(folder + value);
        }
    }
    return found;
}

} // namespace zel::test
