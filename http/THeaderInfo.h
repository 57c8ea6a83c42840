#pragma once
// Values for the optional request header lines of the HTTP client. Each
// client owns one; assigning another copies the six values.

#include <string>

namespace zel {

struct THeaderInfo {
    std::string LocalMailAddress; // "From"
    std::string LocalProgram;     // "User-Agent"
    std::string Cookie;           // "Cookie"; a followed redirection stores what the server set
    std::string Referer;          // "Referer"
    std::string UserId;           // "Authorization" when both UserId and Password are set
    std::string Password;
};

} // namespace zel
