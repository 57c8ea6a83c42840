#pragma once
// What a page job is asked (the address and the user's image settings) and
// what comes of it: the values the job queue and the page maker share.

#include "BrowserLink.h"
#include "FailureKind.h"
#include "PageLimits.h"
#include "StageClock.h"

#include <cstdint>
#include <string>
#include <utility>

namespace zel::service {

// The user's image settings as the browser sends them.
struct ImageSettings {
    bool images = true; // false: fetch no image, keep the alt text
    int quality = 100;  // JPEG/WebP quality 0..100 (0 is taken as 1)
    int colors = 256;   // palette size for GIF/PNG output, a power of two 2..256
    bool gray = false;  // grey-scale output
};

struct PageRequest {
    std::string url; // http or https
    ImageSettings image;
    // The browser lent to this job, if any: pages are rendered in it.
    BrowserLink renderer;
};

struct PageOutcome {
    bool ok = false;
    // Bytes that came over the wire from the origin for the page and all it
    // shows: the page's real size (what came from the cache counts what it
    // took when it came).
    std::int64_t pageBytes = 0;
    // Size of the archive written.
    std::int64_t archiveBytes = 0;
    // When !ok: what went wrong, and a detail for the service's own log.
    FailureKind failure = FailureKind::JobFailed;
    std::string detail;
    // The processor time of each stage of a page that was made.
    StageTimes stages;

    static PageOutcome Made(std::int64_t pageBytes, std::int64_t archiveBytes) {
        return {true, pageBytes, archiveBytes, FailureKind::JobFailed, {}, {}};
    }
    static PageOutcome Failed(FailureKind kind, std::string detail = {}) {
        return {false, 0, 0, kind, std::move(detail), {}};
    }
};

} // namespace zel::service
