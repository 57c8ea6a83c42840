#pragma once
// At full quality the picture sent must look the same as the prepared image:
// its colour SSIM (ColourSsim: luminance and both colour differences) at
// least kSameLook. The candidates are judged from the smallest up and the
// first that passes is the only one kept; lossless ones pass unjudged, and
// so do palettes when the user's colours bound them (the loss was asked for).

#include "LooksAsGoodAsJpeg.h" // EncodedCandidate
#include "PageMaker.h"

#include <cstdint>
#include <string>
#include <vector>

#include <vips/vips.h>

namespace zel::service {

constexpr double kSameLook = 0.99;
// Larger pictures are compared scaled down by a whole factor to about this
// many pixels: judging costs a few times as much as encoding otherwise.
constexpr std::int64_t kLargestSameLookJudged = 1'500'000;

// Keeps the smallest candidate below `originalSize` bytes that looks the
// same, or none.
void KeepSmallestLookingTheSame(VipsImage* prepared, const ImageSettings& settings,
                                std::size_t originalSize,
                                std::vector<EncodedCandidate>& candidates);

} // namespace zel::service
