#include "RequestTarget.h"

#include "TextEdits.h"

namespace zel::service {

namespace {

// Position of "key=" as a whole parameter name (at the start or after "&").
std::size_t FindParameter(const std::string& query, const std::string& key) {
    const std::string needle = key + "=";
    if (query.compare(0, needle.size(), needle) == 0)
        return 0;
    const std::size_t at = query.find("&" + needle);
    return at == std::string::npos ? at : at + 1;
}

} // namespace

RequestTarget SplitRequestTarget(const std::string& target) {
    std::string rest = target;
    const std::size_t scheme = rest.find("://");
    if (scheme != std::string::npos && rest.find_first_of("/?") > scheme) {
        const std::size_t pathStart = rest.find_first_of("/?", scheme + 3);
        rest = pathStart == std::string::npos ? "/" : rest.substr(pathStart);
    }
    const std::size_t mark = rest.find('?');
    if (mark == std::string::npos)
        return {rest, ""};
    return {rest.substr(0, mark), rest.substr(mark + 1)};
}

QueryParams ParseQuery(const std::string& query, const std::string& tailKey) {
    QueryParams params;
    std::string head = query;
    const std::size_t tail = FindParameter(query, tailKey);
    if (tail != std::string::npos) {
        params.emplace(tailKey, query.substr(tail + tailKey.size() + 1));
        head = query.substr(0, tail == 0 ? 0 : tail - 1);
    }
    std::size_t start = 0;
    while (start < head.size()) {
        std::size_t end = head.find('&', start);
        if (end == std::string::npos)
            end = head.size();
        const std::string pair = head.substr(start, end - start);
        const std::size_t equals = pair.find('=');
        if (equals != std::string::npos)
            params.emplace(pair.substr(0, equals), pair.substr(equals + 1));
        else if (!pair.empty())
            params.emplace(pair, "");
        start = end + 1;
    }
    return params;
}

std::string UnescapePageAddress(const std::string& escaped) {
    return ReplaceAll(ReplaceAll(escaped, "^^^^^", "?"), "|||||", "&");
}

std::string PercentDecode(const std::string& text) {
    std::string out;
    out.reserve(text.size());
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '%' && i + 2 < text.size() && HexDigit(text[i + 1]) >= 0 &&
            HexDigit(text[i + 2]) >= 0) {
            out += static_cast<char>(HexDigit(text[i + 1]) * 16 + HexDigit(text[i + 2]));
            i += 2;
        } else {
            out += text[i];
        }
    }
    return out;
}

LoginQuery ParseLoginQuery(const std::string& query) {
    LoginQuery login;
    const std::size_t mail = FindParameter(query, "mail");
    std::string head = query.substr(0, mail == std::string::npos ? query.size() : mail);
    if (mail != std::string::npos) {
        login.mail = PercentDecode(query.substr(mail + 5));
        if (!head.empty())
            head.pop_back(); // the "&" before "mail="
    }
    const std::string comp = "comp=";
    if (head.compare(0, comp.size(), comp) == 0)
        login.computer = PercentDecode(head.substr(comp.size()));
    return login;
}

} // namespace zel::service
