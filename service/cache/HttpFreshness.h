#pragma once
// What a response's headers allow a cache shared by all users to do with it:
// keep it at all, and for how long it may be served without asking the
// origin again.

#include "FetchResult.h"

#include <cstdint>
#include <optional>
#include <string_view>

namespace zel::service {

// Kept for other users only when it is a whole 200 answer that is neither
// private nor no-store, set no cookie and was fetched without cookie or
// authorization, and varies on no header but those that are the same for
// every job.
bool IsShareable(const FetchResult& response);
// The same but for the status: an answer every user would get alike, of
// whatever status.
bool IsForEveryUser(const FetchResult& response);

// Until when (seconds since the epoch) the response may be served without
// revalidation, from s-maxage, max-age or Expires less its Age; `now` when
// it must be revalidated every time (no-cache, no freshness given).
std::int64_t FreshUntil(const ResponseCaching& caching, std::int64_t now);

// An HTTP date (IMF-fixdate, "Sun, 06 Nov 1994 08:49:37 GMT") in seconds
// since the epoch; nothing when it is not one.
std::optional<std::int64_t> ParseHttpDate(std::string_view text);

} // namespace zel::service
