#include "ImageBox.h"

#include <algorithm>

namespace zel::service {

ImageBox MergedBox(ImageBox a, ImageBox b) {
    const auto side = [](int x, int y) { return x > 0 && y > 0 ? std::max(x, y) : 0; };
    return {side(a.width, b.width), side(a.height, b.height)};
}

double SharpScale(std::int64_t width, std::int64_t height, ImageBox box) {
    if (width <= 0 || height <= 0 || (box.width <= 0 && box.height <= 0))
        return 1.0;
    // A box of both sides stretches the image to it: each side needs its pixels.
    double scale = 0.0;
    if (box.width > 0)
        scale = std::max(scale, 2.0 * box.width / double(width));
    if (box.height > 0)
        scale = std::max(scale, 2.0 * box.height / double(height));
    return std::min(1.0, scale);
}

} // namespace zel::service
