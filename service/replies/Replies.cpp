#include "Replies.h"

#include <array>

namespace zel::service {

namespace {

struct Row {
    FailureKind kind;
    Refusal refusal;
};

constexpr char kPageTooBig[] = "The page is too big.";
constexpr char kNotMade[] = "The page could not be made.";
constexpr char kUnknownRequest[] = "Unknown request.";

// In the order of the kinds. A text says what the user can do where there
// is something to do; none holds "NexT" (the browser would poll for ever)
// or a line break (it would split the message box).
constexpr std::array<Row, kFailureKinds> kRefusals = {{
    {FailureKind::AddressRefused,
     {403, "Address refused: only http and https addresses of public sites are served."}},
    {FailureKind::OriginUnreachable,
     {502, "The site cannot be reached. Check the address, or try again later."}},
    {FailureKind::OriginTimeout, {504, "The site did not answer in time. Try again later."}},
    {FailureKind::SecureConnectionFailed,
     {502, "The site's secure connection failed: its certificate was not accepted."}},
    {FailureKind::TooManyRedirects,
     {502, "The site sends the page round in a circle of redirections."}},
    {FailureKind::OriginError, {502, "The site answered with an error instead of the page."}},
    {FailureKind::NotAPage, {415, "The address is neither a web page nor an image."}},
    {FailureKind::NestedTooDeeply, {422, "The page is nested too deeply to be shown."}},
    {FailureKind::Undecodable, {422, "The page's text cannot be decoded."}},
    {FailureKind::TooBig, {422, kPageTooBig}},
    {FailureKind::Inflated, {422, kPageTooBig}},
    {FailureKind::OutOfMemory, {500, "The page needs too much memory."}},
    {FailureKind::CpuTime, {500, "The page took too much processing time."}},
    {FailureKind::WallTime, {504, "Time-out: the page took too long to make."}},
    {FailureKind::ArchiveUnwritable,
     {507, "The service cannot write the page's archive: its disk may be full. Try again later, "
           "or ask whoever runs the service to free space in its data folder."}},
    {FailureKind::JobFailed, {500, kNotMade}},
    {FailureKind::GarbledReport, {500, kNotMade}},
    {FailureKind::Replaced, {409, "A newer page request of this login replaced this one."}},
    {FailureKind::Busy, {503, "The service is busy with other pages. Try again in a minute."}},
    {FailureKind::UnknownLogin, {403, "Unknown login. Ask for one in Options, page Get Login."}},
    {FailureKind::WrongRequest, {400, "Wrong page request."}},
    {FailureKind::PageLost, {404, "The page was lost on the way - press Go again."}},
    {FailureKind::AccountsUnavailable,
     {503, "The service cannot reach its accounts. Try again in a minute; if this goes on, tell "
           "whoever runs the service that its account database is down."}},
    {FailureKind::UnknownRequest, {404, kUnknownRequest}},
    {FailureKind::HeadTooLarge, {431, kUnknownRequest}},
    {FailureKind::MethodNotAllowed, {405, kUnknownRequest}},
    {FailureKind::RequestTooLong, {414, "The request is too long: shorten the address."}},
    {FailureKind::NoArchive, {404, "No archive."}},
    {FailureKind::WrongMail, {400, "Wrong e-mail address."}},
    {FailureKind::TooManyLogins, {429, "Too many login requests. Try again later."}},
    {FailureKind::MailFailed,
     {502, "The login could not be mailed. Check the e-mail address and try again later."}},
    {FailureKind::StoreFailed,
     {503, "The login could not be stored. Try again later; if this goes on, tell whoever runs "
           "the service that its account database cannot be written."}},
}};

constexpr bool InKindOrder() {
    for (std::size_t i = 0; i < kRefusals.size(); ++i)
        if (kRefusals[i].kind != FailureKind(i))
            return false;
    return true;
}
static_assert(InKindOrder(), "one row a kind, in the order of the kinds");

} // namespace

Refusal RefusalOf(FailureKind kind) {
    return kRefusals[std::size_t(kind)].refusal;
}

Reply OkReply(std::int64_t archiveBytes, std::int64_t pageBytes) {
    return {200, "OK," + std::to_string(archiveBytes) + ";" + std::to_string(pageBytes) + ":"};
}

Reply NextReply(std::int64_t bytes) {
    return {200, "NexT;" + std::to_string(bytes) + ":"};
}

Reply BadReply(FailureKind kind) {
    const Refusal refusal = RefusalOf(kind);
    return {refusal.status, std::string("Bad,") + refusal.text};
}

Reply LoginGivenReply(const std::string& login) {
    return {200, "OK,Your login is " + login + " - type it in Options, page Login."};
}

Reply LoginSentReply(const std::string& mail) {
    return {200, "OK,Your login was sent to " + mail + "."};
}

} // namespace zel::service
