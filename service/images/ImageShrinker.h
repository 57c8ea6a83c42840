#pragma once
// Recompresses one image with the user's settings through libvips. Only JPEG,
// PNG, GIF and WebP are decoded (told by their first bytes; every other
// decoder of the library is blocked), and the pixel count is checked from the
// header before any pixel is decoded. The image is scaled down while it is
// decoded, the candidates worth trying for what it is are encoded side by
// side, and the result is the smallest of them and the original: never
// larger than the original.

#include "ImageBox.h"
#include "ImageBudget.h"
#include "ImageFormat.h"
#include "PageTypes.h"

#include <cstdint>
#include <string>
#include <vector>

namespace zel::service {

struct ShrunkImage {
    std::string bytes;
    ImageFormat format = ImageFormat::Unknown;
};

// The forms the image may take with these settings: the original when it
// meets them already, and each encoding of the prepared image started within
// the budget. Throws PageError ("Image too big") when the header announces
// more than `maxPixels`; an image that does not decode has none.
std::vector<ShrunkImage> ImageCandidates(const std::string& original, const ImageSettings& settings,
                                         ImageBox box, std::int64_t maxPixels,
                                         const ImageBudget& budget = {});

// The smallest candidate; the original when none is as small, even when the
// original does not meet the settings: a re-encoding never adds bytes.
ShrunkImage ShrinkImage(const std::string& original, const ImageSettings& settings, ImageBox box,
                        std::int64_t maxPixels, const ImageBudget& budget = {});

} // namespace zel::service
