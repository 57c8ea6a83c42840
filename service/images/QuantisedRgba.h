#pragma once
// An image quantised to a palette of any size, for palette sizes no palette
// file holds with partial transparency (a PNG palette has 2, 4, 16 or 256
// entries, a GIF's transparency is on or off).

#include "VipsImageRef.h"

namespace zel::service {

// The image as 8-bit sRGB with alpha, every pixel one of at most `colours`
// palette entries (undithered); nothing when it cannot be quantised.
VipsImageRef QuantisedRgba(VipsImage* image, int colours);

} // namespace zel::service
