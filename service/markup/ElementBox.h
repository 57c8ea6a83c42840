#pragma once
// The box an element gives its image, read from its markup: the `width` and
// `height` attributes, pixel widths and heights in its `style` (which win
// over the attributes, as in a browser), and for the width the largest
// pixel or viewport width its `sizes` names. Percentages and sizes only the
// layout knows give no side.

#include "ImageBox.h"

#include <string_view>

namespace zel::service {

struct BoxMarkup {
    std::string_view width; // attribute values; empty when absent
    std::string_view height;
    std::string_view style;
    std::string_view sizes;
};

ImageBox ReadElementBox(const BoxMarkup& markup);

// Whether the element sets its width itself (by attribute or style, in any
// unit), so that no image it shows changes it.
bool GivesWidth(const BoxMarkup& markup);

// A length in CSS pixels ("400", "400px", "99.5"); 0 for anything else.
int PixelLength(std::string_view text);

} // namespace zel::service
