#pragma once
// Choosing one image from a srcset list ("a.jpg 100w, b.jpg 2x"): the local
// copy carries one picture, not the choice.

#include <string>
#include <string_view>

namespace zel::service {

struct SrcsetChoice {
    std::string url;      // empty when the list names none
    int width = 0;        // its "w" descriptor: the browser shows it at the `sizes` width
    double density = 1.0; // its "x" descriptor: shown at its pixels over this
};

// The candidate a screen of normal density would show in the given width
// (0: unknown): the narrowest one at least that wide, or the one for
// density 1.
SrcsetChoice PickFromSrcset(std::string_view srcset, int boxWidth);

} // namespace zel::service
