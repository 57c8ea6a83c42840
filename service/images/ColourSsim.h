#pragma once
// Structural similarity in colour: SSIM of the luminance and of both colour
// differences (Y, Cb and Cr of the sRGB picture laid over white). The score
// is the lower of the luminance's and the mean of all three: luminance alone
// misses colour bleeding and shifted hues, while the eye forgives the colour
// planes more than the luminance, so they count as one plane each.

#include "LumaPlane.h"

#include <string>

#include <vips/vips.h>

namespace zel::service {

struct ColourPlanes {
    LumaPlane luma, blue, red;

    // Failures throw std::runtime_error. Every page of an animation is read,
    // one under the other, as libvips holds it. `factor` shrinks the picture
    // first, averaging that many pixels each way into one.
    static ColourPlanes FromImage(VipsImage* image, int factor = 1);
    static ColourPlanes FromBuffer(const std::string& bytes, bool allPages, int factor = 1);
};

// Planes of different sizes throw std::invalid_argument.
double ColourSsim(const ColourPlanes& a, const ColourPlanes& b);

// ColourSsim(a, b) where it reaches `bar`; below it the luminance's SSIM,
// which is at least the score: the colour planes are compared only when the
// luminance passes, which decides most failures at a third of the cost.
double ColourSsimUpTo(const ColourPlanes& a, const ColourPlanes& b, double bar);

} // namespace zel::service
