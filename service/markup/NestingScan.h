#pragma once
// A quick look at how deeply a document's elements nest, before the HTML
// parser sees it: the parser's work grows with the square of the depth, so a
// hostile page of endlessly nested elements is refused up front.

#include <string_view>

namespace zel::service {

// The deepest nesting of open elements, following the tags the way the parser
// would roughly (void elements, raw text, end tags that are left out), and
// stopping early once `limit` is passed.
int EstimateNestingDepth(std::string_view html, int limit);

} // namespace zel::service
