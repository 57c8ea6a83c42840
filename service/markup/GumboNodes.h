#pragma once
// Small reads of the tree gumbo builds, shared by the HTML rewriter's parts.

#include <gumbo.h>

#include <string>

namespace zel::service {

const GumboNode* Child(const GumboElement& element, unsigned i);

// The lower-case name, also of the elements gumbo has no number for.
std::string TagName(const GumboElement& element);

const GumboAttribute* Attribute(const GumboElement& element, const char* name);

} // namespace zel::service
