#pragma once
// The short text replies of the page request and the poll, and the refusal
// texts the browser shows. The browser reads "OK,<archive bytes>;<page
// bytes>:", "NexT;<bytes>:" and "Bad,<text>"; nothing else is ever sent.

#include <cstdint>
#include <string>

namespace zel::service {

std::string OkReply(std::int64_t archiveBytes, std::int64_t pageBytes);
std::string NextReply(std::int64_t bytes);
std::string BadReply(const std::string& text);

namespace texts {
inline constexpr const char* kUnknownLogin =
    "Unknown login. Ask for one in Options, page Get Login.";
inline constexpr const char* kAddressRefused =
    "Address refused: only http and https addresses are served.";
inline constexpr const char* kWrongRequest = "Wrong page request.";
inline constexpr const char* kPageLost = "The page was lost on the way - press Go again.";
inline constexpr const char* kAccountsUnavailable =
    "The service cannot reach its accounts. Try again in a minute; if this goes on, tell "
    "whoever runs the service that its account database is down.";
inline constexpr const char* kReplaced = "A newer page request of this login replaced this one.";
inline constexpr const char* kServiceBusy =
    "The service is busy with other pages. Try again in a minute.";
inline constexpr const char* kUnknownRequest = "Unknown request.";
inline constexpr const char* kRequestTooLong = "The request is too long: shorten the address.";
inline constexpr const char* kWrongMail = "Wrong e-mail address.";
inline constexpr const char* kTooManyLogins = "Too many login requests. Try again later.";
inline constexpr const char* kMailFailed =
    "The login could not be mailed. Check the e-mail address and try again later.";
inline constexpr const char* kStoreFailed =
    "The login could not be stored. Try again later; if this goes on, tell whoever runs the "
    "service that its account database cannot be written.";
inline constexpr const char* kWallTime = "Time-out: the page took too long to make.";
inline constexpr const char* kCpuTime = "The page took too much processing time.";
inline constexpr const char* kMemory = "The page needs too much memory.";
inline constexpr const char* kTooBig = "The page is too big.";
inline constexpr const char* kJobFailed = "The page could not be made.";
} // namespace texts

} // namespace zel::service
