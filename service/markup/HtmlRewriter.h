#pragma once
// Rewrites one HTML document (the page or a frame) for showing from local
// files: resources point to their local copies, links and forms to absolute
// addresses (a click goes back through the service), scripts are left out,
// noscript content is shown and lazy images take their real address, and one
// meta charset keeps the document's encoding.
// The document is parsed with gumbo and changed only by splicing its own bytes
// at the offsets gumbo reports.

#include "Charset.h" // ChooseCharset, for the rewriter's callers
#include "DocumentNames.h"
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
    // When set, the document's element names, classes and ids are added to
    // it before the rewriting, and its style rules are judged against it.
    DocumentNames* names = nullptr;
};

std::vector<Edit> RewriteHtml(std::string_view html, const HtmlContext& context,
                              ResourceSink& sink);

} // namespace zel::service
