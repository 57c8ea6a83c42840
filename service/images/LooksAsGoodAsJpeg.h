#pragma once
// Lossy WebP and AVIF read a quality number differently from JPEG. Their
// numbers are calibrated to JPEG's on average, but the smallest file of an
// image is often the one that lost the most, so the one that would be sent
// is judged on the image itself: it is sent only when its SSIM (luminance,
// over white, against the prepared image) is at most kSsimSlack below that of
// a JPEG at the user's quality (the JPEG candidate, or for an image with
// transparency a JPEG of it laid over white). One that falls short is encoded
// once more, kRetryPoints higher on JPEG's scale, and kept if that passes:
// dropping it would often leave a larger palette file, so a lower setting
// would cost more than a higher one. Otherwise it is dropped, and the next
// smallest is judged the same way.

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

// Passes, raises or drops the judged candidate that would be sent instead of
// the original of `originalSize` bytes (and drops one that cannot be decoded
// again). `jpegQuality` is the user's quality.
void KeepThoseLookingAsGoodAsJpeg(VipsImage* prepared, int jpegQuality, std::size_t originalSize,
                                  std::vector<EncodedCandidate>& candidates);

} // namespace zel::service
