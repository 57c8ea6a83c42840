#pragma once
// Choosing one image from a srcset list ("a.jpg 100w, b.jpg 2x"): the local
// copy carries one picture, not the choice.

#include <string>
#include <string_view>

namespace zel::service {

// The candidate a screen of normal density would show in the given width
// (0: unknown): the narrowest one at least that wide, or the one for
// density 1. Empty when the list names none.
std::string PickFromSrcset(std::string_view srcset, int boxWidth);

} // namespace zel::service
