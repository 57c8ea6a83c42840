#pragma once
// What the page maker writes, read as a browser reads it: no script element,
// no event handler, no address out of the page's own files but for links a
// user may click and a refresh (both asked of the service).

#include <string>
#include <string_view>

namespace zel::service::test {

// The first breach in a document (HTML or SVG) or style sheet; empty when
// there is none.
std::string BreachInMarkup(std::string_view markup);
std::string BreachInStyle(std::string_view css);

} // namespace zel::service::test
