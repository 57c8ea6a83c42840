#pragma once
// The rule for what the page maker writes, read back the way a browser
// reads it: no script element, no event handler, and no address that leads
// out of the page's own files but for the links a user may click (and a
// refresh, which the browser asks the service for). Shared by the tests and
// the fuzz targets.

#include <string>
#include <string_view>

namespace zel::service::test {

// The first breach in a document (HTML or SVG) or style sheet; empty when
// there is none.
std::string BreachInMarkup(std::string_view markup);
std::string BreachInStyle(std::string_view css);

} // namespace zel::service::test
