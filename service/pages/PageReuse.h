#pragma once
// A finished page served again. The shared cache keeps each page made whole
// of responses that are the same for every user, under a recipe naming the
// address, the settings, the limits and this build of the program, with a
// fingerprint of every response it was made of. When each of those is
// still what the origin sends (asked as any fetch is: kept fresh, or
// revalidated), the kept archive is the page, at the cost of those
// lookups; any change, failure or doubt makes the page anew.

#include "PageTypes.h"
#include "SharedCache.h"

#include <functional>
#include <optional>
#include <string>

namespace zel::service {

// Everything that shapes the archive of a page besides the responses, the
// build of `program` (the one that makes the pages) among it.
std::string PageRecipe(const PageRequest& request, const PageLimits& limits,
                       const std::string& program = "/proc/self/exe");

// The page kept for `recipe`, written to `archivePath`, when every response
// it was made of is unchanged; nothing otherwise, or once `stop` (when
// given) says so before a response is asked for. A response's body is read
// up to what the cache keeps of one: a larger one never matches a kept
// page anyway. Throws PageError when the archive cannot be written.
std::optional<PageOutcome> ReusePage(SharedCache& cache, const std::string& recipe,
                                     const PageLimits& limits, const std::string& archivePath,
                                     const std::function<void(std::int64_t)>& onFetched,
                                     const std::function<bool()>& stop = {});

// Keeps the archive at `archivePath`, made whole of the responses fetched
// through `cache` since its last TakeFetched.
void KeepPage(SharedCache& cache, const std::string& recipe, const std::string& archivePath);

} // namespace zel::service
