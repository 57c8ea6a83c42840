#pragma once
// At full quality the picture sent must look the same as the prepared image:
// its colour SSIM (ColourSsim: luminance and both colour differences) at
// least kSameLook. The candidates are judged from the smallest up and the
// first that passes is the only one kept; lossless ones pass unjudged, and
// so do palettes when the user's colours bound them (the loss was asked for)
// or when they hold every colour of an opaque image (nothing is lost).

#include "ImageTraits.h"
#include "LooksAsGoodAsJpeg.h" // EncodedCandidate
#include "PageTypes.h"

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
// same, or none. `shownFactor` is how many of the prepared image's pixels a
// screen of normal density shows in one (2 for an image scaled to twice its
// box): the pictures are compared as that screen shows them.
void KeepSmallestLookingTheSame(VipsImage* prepared, const ImageTraits& traits,
                                const ImageSettings& settings, std::size_t originalSize,
                                int shownFactor, std::vector<EncodedCandidate>& candidates);

} // namespace zel::service
