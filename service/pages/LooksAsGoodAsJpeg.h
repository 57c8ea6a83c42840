#pragma once
// Lossy WebP and AVIF read a quality number differently from JPEG. Their
// numbers are calibrated to JPEG's on average, but the smallest file of an
// image is often the one that lost the most, so an encoding of theirs that
// is smaller than the JPEG of the same image is judged on that image: it is
// kept only when its SSIM (luminance, against the prepared image) is at most
// kSsimSlack below the JPEG's.

#include "ImageEncoding.h"

#include <string>
#include <vector>

#include <vips/vips.h>

namespace zel::service {

constexpr double kSsimSlack = 0.01;

struct EncodedCandidate {
    ImageEncoding encoding;
    std::string bytes;
};

// Drops the judged candidates that look worse than the JPEG among them (and
// those that cannot be decoded again); without a JPEG nothing is judged.
void KeepThoseLookingAsGoodAsJpeg(VipsImage* prepared, std::vector<EncodedCandidate>& candidates);

} // namespace zel::service
