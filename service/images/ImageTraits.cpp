#include "ImageTraits.h"

#include <cstdint>
#include <unordered_set>

namespace zel::service {
namespace {

// Up to four 8-bit bands of one pixel as one number.
std::uint32_t PixelAt(const VipsPel* pixel, int bands) {
    std::uint32_t value = 0;
    for (int band = 0; band < bands && band < 4; ++band)
        value = (value << 8) | pixel[band];
    return value;
}

} // namespace

ImageTraits ReadTraits(VipsImage* image) {
    ImageTraits traits;
    const int width = vips_image_get_width(image);
    const int height = vips_image_get_height(image);
    const int bands = image->Bands;
    const bool alpha = vips_image_hasalpha(image) && image->BandFmt == VIPS_FORMAT_UCHAR;
    std::unordered_set<std::uint32_t> colours;
    std::int64_t flat = 0;
    bool clear = false;
    bool partial = false;
    for (int y = 0; y < height; ++y) {
        const VipsPel* row = VIPS_IMAGE_ADDR(image, 0, y);
        std::uint32_t left = 0;
        for (int x = 0; x < width; ++x) {
            const VipsPel* pixel = row + std::size_t(x) * std::size_t(bands);
            const std::uint32_t value = PixelAt(pixel, bands);
            if (x > 0 && value == left) {
                ++flat;
                continue;
            }
            left = value;
            if (int(colours.size()) < kManyColours)
                colours.insert(value);
            if (alpha) {
                const VipsPel opacity = pixel[bands - 1];
                clear = clear || opacity == 0;
                partial = partial || (opacity != 0 && opacity != 255);
            }
        }
    }
    traits.transparency =
        partial ? Transparency::Soft : (clear ? Transparency::OnOff : Transparency::None);
    traits.colours = int(colours.size());
    const std::int64_t pixels = std::int64_t(width) * height;
    traits.flatness = pixels > 0 ? double(flat) / double(pixels) : 0.0;
    return traits;
}

} // namespace zel::service
