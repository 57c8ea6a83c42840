#pragma once
// What the HTML rewriter needs to know of single tags and values: which
// attributes hold addresses, what a refresh names, which SVG animations could
// swap in an address, what an SVG or MathML element does with its link.

#include <gumbo.h>

#include <optional>
#include <string>
#include <string_view>

namespace zel::service {

// An attribute a browser loads, runs or follows an address from.
bool HoldsAddress(const GumboAttribute& attribute);

// href, also as xlink:href.
bool IsHref(const GumboAttribute& attribute);

// A cleaned reference that stays within the shown page: "#..." or nothing.
bool StaysInPage(std::string_view reference);

// The content of a refresh: its delay as written and the address, empty when
// the page reloads itself. Nothing when a browser might read it otherwise.
struct Refresh {
    std::string delay;
    std::string url;
};
std::optional<Refresh> ParseRefresh(std::string_view content);

// An SVG animation that would set an address, a handler or a style (whose
// url() can load), or hands url() values to another attribute.
bool AnimatesAddressOrCode(const GumboElement& element);

// What the link of an element outside HTML does.
enum class ForeignLink {
    Follow, // clicked: made absolute like an HTML link
    Image,  // shown: fetched like an image
    Use,    // an SVG <use>: the referred file's part
    None,   // in-page references only
};
ForeignLink ForeignLinkOf(const GumboElement& element);

} // namespace zel::service
