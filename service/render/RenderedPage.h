#pragma once
// What a job hands the renderer and what comes back: the page's markup as a
// browser built it, and the box each image was shown in.

#include <chrono>
#include <functional>
#include <map>
#include <optional>
#include <string>

namespace zel::service {

// One response for the renderer, fetched by the service on its behalf.
struct RenderResponse {
    long status = 200;
    std::string contentType; // without parameters
    std::string charset;
    std::string body;
    std::string finalUrl; // after redirects
};

// Fetches one address for the renderer; empty when refused or failed.
using RenderFetch = std::function<std::optional<RenderResponse>(const std::string& url)>;

// The box an image was shown in, in CSS pixels, as laid out by the browser.
struct ShownBox {
    double width = 0;
    double height = 0;
};

// The image step's view of the rendered layout: by the absolute address the
// browser chose for each image (its currentSrc), the largest box it was
// shown in.
struct ShownBoxes {
    std::map<std::string, ShownBox> byUrl;
    void Add(const std::string& url, ShownBox box);
};

struct RenderOrder {
    std::string url;
    // Load and the rest must be done within this time, or there is no page.
    std::chrono::milliseconds budget{5000};
    // After load, the network must be idle this long.
    std::chrono::milliseconds quiet{500};
};

struct RenderedPage {
    std::string html; // the document as it stands, without scripts' effects undone
    std::string url;  // the document's address after redirects
    ShownBoxes boxes;
};

} // namespace zel::service
