#pragma once
// The size a page shows an image at, in CSS pixels, and the scale an image
// needs for it.

#include <cstdint>

namespace zel::service {

// 0: the side is not given (no size, a percentage, a size the page's layout
// decides).
struct ImageBox {
    int width = 0;
    int height = 0;
};

// One box for an image shown at several: a side is kept only when every box
// gives it, and then the largest, so no use gets fewer pixels than it needs.
ImageBox MergedBox(ImageBox a, ImageBox b);

// The scale (at most 1) that leaves the image two pixels per CSS pixel of
// its box in each given direction, so it stays sharp on a screen of double
// density too; 1 when the box gives no side.
double SharpScale(std::int64_t width, std::int64_t height, ImageBox box);

} // namespace zel::service
