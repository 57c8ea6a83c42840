#pragma once
// Turns one web address into a small page archive: fetches the page and what
// it shows, rewrites it to refer to local copies, recompresses the images with
// the user's settings and packs "page.htm" and "page.files/..." into a zip.

#include "PageLimits.h"
#include "PageTypes.h"

#include <cstdint>
#include <functional>
#include <optional>
#include <string>

namespace zel::service {

// Fetches, rewrites and packs the page into `archivePath` (written to a
// temporary file and renamed, so a reader never sees half an archive).
// `onFetched(n)` is called as n more bytes arrive over the wire, so a caller
// can report progress. Never throws: every failure comes back in the outcome.
// A page kept whole in the shared cache is served again instead (see
// ServeKeptPage).
PageOutcome MakePage(const PageRequest& request, const PageLimits& limits,
                     const std::string& archivePath,
                     const std::function<void(std::int64_t bytes)>& onFetched);

// MakePage without looking for a kept page: for a job whose kept page was
// looked for already.
PageOutcome MakeNewPage(const PageRequest& request, const PageLimits& limits,
                        const std::string& archivePath,
                        const std::function<void(std::int64_t bytes)>& onFetched);

// The page kept whole in the shared cache, made by `program` for the same
// request and limits, written to `archivePath` when every response it was
// made of is unchanged (asked again as a job would: the origins' bytes are
// read under the job's limits); nothing otherwise, or once `stop` says so.
// Never throws: any failure, of the cache or of the check, is nothing, and
// the page is made anew.
std::optional<PageOutcome> ServeKeptPage(const std::string& program, const PageRequest& request,
                                         const PageLimits& limits, const std::string& archivePath,
                                         const std::function<void(std::int64_t bytes)>& onFetched,
                                         const std::function<bool()>& stop);

} // namespace zel::service
