#pragma once
// Lossy WebP and AVIF read a quality number differently from JPEG. Their
// numbers are calibrated to JPEG's on average, but the smallest file of an
// image is often the one that lost the most, so their encodings are judged on
// the image itself: one is kept only when its SSIM (luminance, over white,
// against the prepared image) is at most kSsimSlack below that of a JPEG at
// the user's quality. Against a JPEG candidate only the smaller ones need
// judging; an image with transparency has no JPEG candidate, so a JPEG of it
// laid over white is made as the yardstick. One that falls short is encoded
// once more, kRetryPoints higher on JPEG's scale, and kept if that passes:
// dropping it would often leave a larger palette file, so a lower setting
// would cost more than a higher one.

#include "ImageEncoding.h"

#include <cstdint>
#include <string>
#include <vector>

#include <vips/vips.h>

namespace zel::service {

constexpr double kSsimSlack = 0.01;
// Larger pictures are photos shown big, where WebP (AVIF is not tried on
// them) keeps to its calibration, and judging would cost as much as encoding.
constexpr std::int64_t kLargestJudged = 1'000'000;
constexpr int kRetryPoints = 20;

struct EncodedCandidate {
    ImageEncoding encoding;
    std::string bytes;
};

// Replaces or drops the judged candidates that look worse than the JPEG
// (and drops those that cannot be decoded again). `jpegQuality` is the
// user's quality.
void KeepThoseLookingAsGoodAsJpeg(VipsImage* prepared, int jpegQuality,
                                  std::vector<EncodedCandidate>& candidates);

} // namespace zel::service
