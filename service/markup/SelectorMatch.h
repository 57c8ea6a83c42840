#pragma once
// Whether a style rule's selectors may match an element of a document, told
// from the names, classes and ids they need. Where it cannot tell (attribute
// values, functional pseudo-classes, nesting, anything unknown) the answer
// is yes: a wrong no would leave out a picture the page shows.

#include "DocumentNames.h"

#include <string_view>

namespace zel::service {

// `selectors`: a selector list as it stands before a rule's '{'.
bool MayMatch(std::string_view selectors, const DocumentNames& names);

} // namespace zel::service
