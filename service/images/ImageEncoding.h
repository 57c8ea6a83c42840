#pragma once
// One way to write a prepared image (8-bit sRGB or grey, in memory).

#include "ImageFormat.h"

#include <optional>
#include <string>

#include <vips/vips.h>

namespace zel::service {

struct ImageEncoding {
    ImageFormat format = ImageFormat::Jpeg;
    int quality = 100; // JPEG, lossy WebP, AVIF: the encoder's own number
    int bitdepth = 8;  // palette formats: at most 2^bitdepth colours
    bool dither = true;
    // WebP: lossless, of the image quantised to `bitdepth` without dithering.
    bool losslessPalette = false;
    // WebP: lossless, every pixel as it is.
    bool lossless = false;
    // JPEG and AVIF: colour at every pixel, not one per four; lossy WebP,
    // which always halves it, halves it with care for colour edges.
    bool fullChroma = false;
    // Palette formats: the palette chosen with less effort, where its
    // looks are not judged (below full quality).
    bool quickPalette = false;

    bool operator==(const ImageEncoding&) const = default;
};

// The encoded bytes, or nothing when the encoder refuses the image.
std::optional<std::string> EncodeImage(VipsImage* image, const ImageEncoding& encoding);

// The palette file whose pixels a lossless WebP of a palette (`losslessPalette`)
// holds: a GIF, or with `alpha` a PNG, which keeps partial transparency. A PNG
// palette has 2, 4, 16 or 256 entries: at other sizes with alpha the WebP is
// made of the image quantised apart (`QuantisedRgba`).
ImageEncoding PaletteFileOf(const ImageEncoding& losslessPalette, bool alpha);

// A lossless WebP of the pixels of a palette file made by PaletteFileOf's
// encoding: a palette already made is not made again.
std::optional<std::string> LosslessWebpOf(const std::string& paletteFile);

} // namespace zel::service
