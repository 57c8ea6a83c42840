#pragma once
// Where a document or style sheet being rewritten hands the resources it
// refers to: the page job, which fetches each address once and names it.

#include "ImageBox.h"

#include <string>

namespace zel::service {

// Where a reference to a left-out resource points: an empty inline resource,
// so nothing is fetched from the network when the page is shown.
inline constexpr char kNowhere[] = "data:,";

enum class ResourceKind {
    Image,      // recompressed when it is a JPEG, PNG, GIF or WebP
    StyleSheet, // rewritten in turn
    Document,   // a frame: rewritten in turn
    Font,       // re-encoded as WOFF2 when that is smaller
    Other,      // kept scripts and the like: stored as they came
};

class ResourceSink {
public:
    virtual ~ResourceSink() = default;
    // The resource's number for a Piece, or -1 when it is left out (too many,
    // nested too deeply). `depth` counts frames within frames, or style
    // sheets importing style sheets.
    virtual int Register(const std::string& url, ResourceKind kind, ImageBox box, int depth) = 0;
};

} // namespace zel::service
