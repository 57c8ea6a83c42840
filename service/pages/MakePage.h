#pragma once
// Turns one web address into a small page archive: fetches the page and what
// it shows, rewrites it to refer to local copies, recompresses the images with
// the user's settings and packs "page.htm" and "page.files/..." into a zip.

#include "PageLimits.h"
#include "PageTypes.h"

#include <cstdint>
#include <functional>
#include <string>

namespace zel::service {

// Fetches, rewrites and packs the page into `archivePath` (written to a
// temporary file and renamed, so a reader never sees half an archive).
// `onFetched(n)` is called as n more bytes arrive over the wire, so a caller
// can report progress. Never throws: every failure comes back in the outcome.
PageOutcome MakePage(const PageRequest& request, const PageLimits& limits,
                     const std::string& archivePath,
                     const std::function<void(std::int64_t bytes)>& onFetched);

} // namespace zel::service
