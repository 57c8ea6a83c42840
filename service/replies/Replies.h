#pragma once
// The service's replies: the short texts of the page request and the poll,
// and for every kind of failure the text the user sees and the HTTP status.
// The browser reads "OK,<archive bytes>;<page bytes>:", "NexT;<bytes>:" and
// "Bad,<text>"; nothing else is ever sent. No other file holds a user text.

#include "FailureKind.h"

#include <cstdint>
#include <string>

namespace zel::service {

struct Reply {
    unsigned status = 200;
    std::string body;
    bool operator==(const Reply&) const = default;
};

Reply OkReply(std::int64_t archiveBytes, std::int64_t pageBytes);
Reply NextReply(std::int64_t bytes);
Reply BadReply(FailureKind kind);
// The answers to a login request: the login itself when the service sends
// no mail, else where the mail went.
Reply LoginGivenReply(const std::string& login);
Reply LoginSentReply(const std::string& mail);

// What the user reads of a failure, and the HTTP status it is sent with.
struct Refusal {
    unsigned status;
    const char* text;
};
Refusal RefusalOf(FailureKind kind);

} // namespace zel::service
