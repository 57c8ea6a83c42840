#pragma once
// Recompresses one image with the user's settings through libvips. Only JPEG,
// PNG, GIF and WebP are decoded (told by their first bytes; every other
// decoder of the library is blocked), and the pixel count is checked from the
// header before any pixel is decoded. The result is the smallest of the
// original and the candidates, never larger than the original.

#include "PageMaker.h"

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace zel::service {

enum class ImageFormat { Unknown, Jpeg, Png, Gif, Webp };

ImageFormat SniffImageFormat(std::string_view bytes);
const char* ImageExtension(ImageFormat format);

// The size a page gives an image (0: not given).
struct ImageBox {
    int width = 0;
    int height = 0;
};

struct ShrunkImage {
    std::string bytes;
    ImageFormat format = ImageFormat::Unknown;
};

// The forms the image may take with these settings: the original when it
// meets them already, and each encoding of the prepared image. Throws
// PageError ("Image too big") when the header announces more than
// `maxPixels`; an image that does not decode has none.
std::vector<ShrunkImage> ImageCandidates(const std::string& original, const ImageSettings& settings,
                                         ImageBox box, std::int64_t maxPixels);

// The smallest candidate, or the original when none is smaller.
ShrunkImage ShrinkImage(const std::string& original, const ImageSettings& settings, ImageBox box,
                        std::int64_t maxPixels);

} // namespace zel::service
