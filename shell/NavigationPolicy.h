#pragma once
// What the main window does when its web view is about to navigate. Pages
// of the store (the program folder's "page.htm", documents in "page.files"
// whose name begins with "page", history copies) are local files and load as
// they are; every other navigation is cancelled, and a link the user clicked
// becomes a request to the service instead. GUI-free.

#include <string>

namespace zel {

// `target` as the web view reports it: a local file as its plain path, any
// other address with its scheme and percent-encoding. Only local paths that
// contain "/page.files/page", "/zelhistory/" or "/page.htm" are pages of the
// store; a remote address with such a path is not.
bool IsPageStoreTarget(const std::string& target);

// Whether a navigation is a click on the link under the mouse, whose address
// the status bar shows. The status text equal to the decoded target tells a
// click; where the view spells the hovered link differently from the target
// ("%2B", "+", "%20" in a query), the same address counts too, but only for a
// navigation the view reports as following a link.
bool IsClickedLink(const std::string& target, const std::string& statusText, bool followsLink);

} // namespace zel
