#pragma once
// Structural similarity of two luminance planes of the same size, with the
// usual Gaussian window (sigma 1.5, 11 taps) and constants (K1 0.01, K2 0.03).

#include "LumaPlane.h"

namespace zel::service {

struct SsimScore {
    double mean = 0;      // over the whole plane
    double worstBand = 0; // the lowest mean of a horizontal band of `bandHeight` rows
};

// Planes of different sizes throw std::invalid_argument.
SsimScore Ssim(const LumaPlane& a, const LumaPlane& b, int bandHeight = 600);

} // namespace zel::service
