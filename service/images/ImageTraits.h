#pragma once
// What a prepared image is, read from its pixels: what the candidates that
// are worth encoding depend on.

#include <vips/vips.h>

namespace zel::service {

enum class Transparency {
    None,
    OnOff, // every pixel fully opaque or fully clear: GIF can hold it
    Soft,  // partly clear pixels: GIF would give hard fringes
};

struct ImageTraits {
    Transparency transparency = Transparency::None;
    int colours = 0;       // distinct colours, counted up to kManyColours
    double flatness = 0.0; // share of pixels equal to their left neighbour
};

constexpr int kManyColours = 257;

// `image` is 8-bit, in memory (vips_image_copy_memory).
ImageTraits ReadTraits(VipsImage* image);

} // namespace zel::service
