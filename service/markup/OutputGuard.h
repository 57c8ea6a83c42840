#pragma once
// The last look at a document the page maker writes. The rewriter edits the
// source where its parse found tags and attributes; hostile markup can make
// the edited text parse otherwise (a tag that ended SVG before no longer
// does, an html tag's attributes join the root), and what then appears was
// never visited. The written text is parsed again and whatever in it would
// run or load from outside the page's own files is taken out, round after
// round, until a parse finds nothing; a document that will not settle is
// shown as text.

#include <functional>
#include <string>
#include <string_view>

namespace zel::service {

// Whether a reference (cleaned, lower case, without its "#part") names one
// of the page's own files.
using OwnFile = std::function<bool(std::string_view)>;

std::string GuardOutput(std::string html, const OwnFile& ownFile);

// Whether the guard would leave the document as it is.
bool PassesGuard(std::string_view html, const OwnFile& ownFile);

} // namespace zel::service
