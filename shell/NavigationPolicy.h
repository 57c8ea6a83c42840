#pragma once
// What the main window does when its web view is about to navigate. Pages
// of the store (the program folder's "page.htm", "help.htm", the history
// copies "zelhistory/N.htm" and the frame documents "pageK.htm" of their
// files folders) are local files and load as they are; every other navigation
// is cancelled, and a link the user clicked becomes a request to the service
// instead. GUI-free.

#include <string>

namespace zel {

// `target` as the web view reports it: a local file as its plain path, any
// other address with its scheme and percent-encoding. Only those very files
// of `programFolder` are pages of the store: no other file of its folders
// (a stored image or font may hold markup), and no remote address with such
// a path.
bool IsPageStoreTarget(const std::string& target, const std::string& programFolder);

// Whether a navigation is a click on the link under the mouse, whose address
// the status bar shows. The status text equal to the decoded target tells a
// click; where the view spells the hovered link differently from the target
// ("%2B", "+", "%20" in a query), the same address counts too, but only for a
// navigation the view reports as following a link.
bool IsClickedLink(const std::string& target, const std::string& statusText, bool followsLink);

} // namespace zel
