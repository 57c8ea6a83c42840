#pragma once
// What a page request is doing, and the status line that tells the user so
// while the service works. GUI-free.

#include <cstdint>
#include <string>

namespace zel {

enum class RequestStage {
    Idle,        // no request
    Asking,      // the page request or a poll waits for the service
    Fetching,    // the service's last poll reported page bytes it fetched
    Making,      // the service fetched the page and recompresses it
    Downloading, // the archive comes
    Unpacking,   // the unpacking tool writes the page
};

// The status line for `stage`, `seconds` after the request began:
// `pageBytes` what the service reported fetching so far, `received` and
// `archiveBytes` the download's progress. Empty for Idle.
std::string ProgressText(RequestStage stage, std::int64_t pageBytes, std::int64_t received,
                         std::int64_t archiveBytes, std::int64_t seconds);

} // namespace zel
