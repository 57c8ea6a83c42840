#include "LoginRequest.h"

#include "RequestEscapes.h"
#include "ServiceEndpoints.h"
#include "Utf8.h"

#include <algorithm>

namespace zel {

bool IsPlausibleEmail(const std::string& email) {
    const std::size_t at = email.find('@');
    return Utf8Length(email) >= 7 && at != std::string::npos &&
           Utf8Length(email.substr(0, at)) >= 2 && email.find('.') != std::string::npos;
}

std::string LoginRequestAddress(const std::string& description, const std::string& email) {
    return EscapeRequestUrl(LoginRequestEndpoint() + "?comp=" + description + "&mail=" + email);
}

std::string LoginAnswer(const std::string& reply) {
    return reply.size() > 3 ? reply.substr(3) : std::string();
}

std::string LoginMemoLine(const std::string& answer) {
    std::string line = answer;
    line.erase(std::remove(line.begin(), line.end(), '\n'), line.end());
    return line;
}

std::string LoginInAnswer(const std::string& answer) {
    const std::string lead = "Your login is ";
    if (answer.rfind(lead, 0) != 0)
        return {};
    const std::size_t end = answer.find(' ', lead.size());
    const std::string login = answer.substr(lead.size(), end - lead.size());
    const bool plain = std::all_of(login.begin(), login.end(), [](unsigned char c) {
        return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
    });
    const bool ends = end == std::string::npos || answer.compare(end, 3, " - ") == 0;
    return plain && ends && !login.empty() && login.size() <= 30 ? login : std::string();
}

} // namespace zel
