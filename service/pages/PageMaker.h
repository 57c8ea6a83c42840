#pragma once
// Turns one web address into a small page archive: fetches the page and what
// it shows, rewrites it to refer to local copies, recompresses the images with
// the user's settings and packs "page.htm" and "page.files/..." into a zip.

#include "BrowserLink.h"
#include "PageLimits.h"
#include "StageClock.h"

#include <cstdint>
#include <functional>
#include <string>

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
    // Short, clear text for the browser when !ok ("origin unreachable", ...).
    std::string error;
    // Bytes that came over the wire from the origin for the page and all it
    // shows: the page's real size.
    std::int64_t pageBytes = 0;
    // Size of the archive written.
    std::int64_t archiveBytes = 0;
    // The processor time of each stage of a page that was made.
    StageTimes stages;
};

// Fetches, rewrites and packs the page into `archivePath` (written to a
// temporary file and renamed, so a reader never sees half an archive).
// `onFetched(n)` is called as n more bytes arrive over the wire, so a caller
// can report progress. Never throws: every failure comes back in the outcome.
PageOutcome MakePage(const PageRequest& request, const PageLimits& limits,
                     const std::string& archivePath,
                     const std::function<void(std::int64_t bytes)>& onFetched);

} // namespace zel::service
