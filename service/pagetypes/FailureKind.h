#pragma once
// What went wrong with a request, from the origin to the service's reply.
// Page making, the job child's report, the job queue, the access log and the
// replies all speak of a failure by its kind. Each kind has a stable name for
// the job child's pipe and the access log; the texts the user sees and the
// HTTP statuses belong to the service's replies.

#include <array>
#include <cstddef>
#include <optional>
#include <string_view>

namespace zel::service {

enum class FailureKind {
    // The page and its origin.
    AddressRefused,         // not http(s), or an address of this network
    OriginUnreachable,      // no connection, or the connection broke
    OriginTimeout,          // the origin took longer than a fetch may
    SecureConnectionFailed, // the origin's certificate was refused
    TooManyRedirects,       // redirections beyond the bound
    OriginError,            // an error status instead of the page
    NotAPage,               // neither a web page nor an image
    NestedTooDeeply,        // nesting no parser should follow
    Undecodable,            // text, encoding or font that cannot be decoded
    TooBig,                 // more bytes or pixels than allowed
    Inflated,               // decoded far beyond its compressed size: a bomb
    // The job.
    OutOfMemory,       // the job ran out of memory
    CpuTime,           // the job's processor time ran out
    WallTime,          // the job's time ran out
    ArchiveUnwritable, // the archive could not be written or published
    JobFailed,         // a fault of the page maker itself
    GarbledReport,     // the job child's report made no sense
    Replaced,          // a newer request of the login took the job's place
    Busy,              // no room for another job, or the service is stopping
    // The protocol.
    UnknownLogin,
    WrongRequest,
    PageLost, // a poll without a job
    AccountsUnavailable,
    UnknownRequest,
    HeadTooLarge,
    MethodNotAllowed,
    RequestTooLong,
    NoArchive,
    WrongMail,
    TooManyLogins,
    MailFailed,
    StoreFailed,
};

inline constexpr std::size_t kFailureKinds = std::size_t(FailureKind::StoreFailed) + 1;

// In the order of the enumeration; never renamed, since old log lines and a
// job child of another build use them.
inline constexpr std::array<std::string_view, kFailureKinds> kFailureNames = {
    "address-refused",
    "origin-unreachable",
    "origin-timeout",
    "secure-connection-failed",
    "too-many-redirects",
    "origin-error",
    "not-a-page",
    "nested-too-deeply",
    "undecodable",
    "too-big",
    "inflated",
    "out-of-memory",
    "cpu-time",
    "wall-time",
    "archive-unwritable",
    "job-failed",
    "garbled-report",
    "replaced",
    "busy",
    "unknown-login",
    "wrong-request",
    "page-lost",
    "accounts-unavailable",
    "unknown-request",
    "head-too-large",
    "method-not-allowed",
    "request-too-long",
    "no-archive",
    "wrong-mail",
    "too-many-logins",
    "mail-failed",
    "store-failed"};

// Every name is one blank-free token, unique, and none reads "ok": the
// pipe and the log write "ok" for a success.
constexpr bool AreTokens(const std::array<std::string_view, kFailureKinds>& names) {
    for (std::size_t i = 0; i < names.size(); ++i) {
        if (names[i].empty() || names[i] == "ok" ||
            names[i].find_first_of(" \t\r\n") != std::string_view::npos)
            return false;
        for (std::size_t j = 0; j < i; ++j)
            if (names[i] == names[j])
                return false;
    }
    return true;
}
static_assert(AreTokens(kFailureNames));

constexpr std::string_view NameOf(FailureKind kind) {
    return kFailureNames[std::size_t(kind)];
}

// The kind of a name read from outside; nothing for an unknown name.
constexpr std::optional<FailureKind> FailureNamed(std::string_view name) {
    for (std::size_t i = 0; i < kFailureNames.size(); ++i)
        if (kFailureNames[i] == name)
            return FailureKind(i);
    return std::nullopt;
}

} // namespace zel::service
