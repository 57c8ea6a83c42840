#pragma once
// Bounds on what one page job may fetch and decode, each a service option.

#include "CacheSettings.h"

#include <cstdint>

namespace zel::service {

// Which pages a browser renders before they are made small.
enum class RenderMode {
    Never,  // the page's markup as fetched
    Auto,   // pages that carry scripts
    Always, // every HTML page
};

struct PageLimits {
    // Origins on private, loopback, link-local and other special addresses
    // are refused unless allowed (tests, one's own machine).
    bool allowPrivateOrigins = false;
    // Scripts are left out of pages unless kept.
    bool keepScripts = false;
    std::int64_t maxPageBytes = 8 << 20;       // one HTML document (decoded)
    std::int64_t maxStyleSheetBytes = 2 << 20; // one style sheet (decoded)
    int maxResources = 300;                    // resources per page
    std::int64_t maxJobBytes = 64 << 20;       // all bytes fetched for a job
    std::int64_t maxImagePixels = 40'000'000;  // width * height, from the header
    int maxDecodedRatio = 100;                 // decoded size / compressed size
    std::int64_t maxFontBytes = 0;             // a web font as sent; 0: no bound
    int fetchTimeoutSeconds = 20;              // one transfer
    int connectTimeoutSeconds = 10;            // one connection
    int maxNestingDepth = 1000;                // open elements in one document
    int maxFrameDepth = 2;                     // frames within frames
    int maxImportDepth = 3;                    // style sheets importing style sheets
    // After this many seconds the resources not yet fetched are left out and
    // the page is packed with what it has: keep it well below the limits on
    // a job's wall time and processor time, so the user gets a page at all.
    int resourceSeconds = 20;
    RenderMode render = RenderMode::Auto;
    int renderSeconds = 5; // load, quiet network and serializing; then the page goes static
    int renderQuietMilliseconds = 500; // no request for this long: the network is quiet
    CacheSettings cache;               // what jobs share of what they fetched and made
};

} // namespace zel::service
