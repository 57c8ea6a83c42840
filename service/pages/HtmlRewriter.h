#pragma once
// Rewrites one HTML document (the page or a frame) for showing from local
// files: resources point to their local copies, links and forms to absolute
// addresses (a click goes back through the service), scripts are left out,
// noscript content is shown and lazy images take their real address, and one
// meta charset keeps the document's encoding.
// The document is parsed with gumbo and changed only by splicing its own bytes
// at the offsets gumbo reports.

#include "ResourceSink.h"
#include "Splice.h"

#include <string>
#include <string_view>
#include <vector>

namespace zel::service {

struct HtmlContext {
    std::string url;     // where the document came from (after redirects)
    std::string charset; // declared in the saved file; empty: none added
    bool images = true;
    bool keepScripts = false;
    int frameDepth = 0; // of this document
};

std::vector<Edit> RewriteHtml(std::string_view html, const HtmlContext& context,
                              ResourceSink& sink);

// The encoding to declare: the one the origin named, else the one the
// document names itself, else UTF-8 when the bytes are valid UTF-8 and
// windows-1252 (the web's default) when not. Empty when a byte order mark
// decides already.
std::string ChooseCharset(std::string_view html, const std::string& fromHeader);

} // namespace zel::service
