#pragma once
// Structural similarity in colour: SSIM of the luminance and of both colour
// differences (Y, Cb and Cr of the sRGB picture laid over white), the score
// being the lowest of the three. Luminance alone misses colour bleeding and
// shifted hues, which a picture meant to look the same must not have either.

#include "LumaPlane.h"

#include <string>

#include <vips/vips.h>

namespace zel::service {

struct ColourPlanes {
    LumaPlane luma, blue, red;

    // Failures throw std::runtime_error. Every page of an animation is read,
    // one under the other, as libvips holds it.
    static ColourPlanes FromImage(VipsImage* image);
    static ColourPlanes FromBuffer(const std::string& bytes, bool allPages);

    // The same picture scaled down by a whole factor.
    ColourPlanes Shrunk(int factor) const;
};

// Planes of different sizes throw std::invalid_argument.
double ColourSsim(const ColourPlanes& a, const ColourPlanes& b);

} // namespace zel::service
