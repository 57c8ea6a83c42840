#pragma once
// Rewrites the addresses in a style sheet (a file, a style element or a style
// attribute) to the resources' local names.

#include "DocumentNames.h"
#include "ResourceSink.h"
#include "Splice.h"

#include <string>
#include <string_view>
#include <vector>

namespace zel::service {

struct CssContext {
    std::string baseUrl;
    bool images = true;  // false: image references point nowhere, nothing is fetched
    int importDepth = 0; // of this style sheet
    // The document the style sheet applies to: the images of a rule that can
    // match none of its elements are left out. Null: every rule may apply.
    const DocumentNames* names = nullptr;
    // With `names`: a rule that can match none of its elements is taken out
    // whole. Not in a style attribute, whose text holds declarations only.
    bool takeOutUnusedRules = true;
};

// Edits to `css`, their offsets moved by `offset` (where the text sits in a
// larger document).
std::vector<Edit> RewriteCss(std::string_view css, const CssContext& context, ResourceSink& sink,
                             std::size_t offset = 0);

} // namespace zel::service
