#pragma once
// Which forms of an image are worth trying with the user's settings, chosen
// by what the image is: photos get lossy encodings only, drawings and
// screenshots also undithered palettes, whose flat areas stay flat and small.

#include "ImageEncoding.h"
#include "ImageTraits.h"
#include "PageTypes.h"

#include <cstdint>
#include <optional>
#include <vector>

namespace zel::service {

// The original image, as far as the choice depends on it.
struct ImageSource {
    ImageFormat format = ImageFormat::Unknown;
    bool lossyPhoto = false; // IsLossyPhotoFormat
    bool grey = false;       // one colour band
    bool animated = false;
};

struct CandidatePlan {
    // Cheapest first: when an image's time runs out, the costly ones are left.
    std::vector<ImageEncoding> encodings;
};

// The original meets the settings as it is: it competes with the encodings.
bool OriginalMeets(const ImageSource& source, const ImageSettings& settings);

// A lossy original at full quality that meets the settings and keeps its
// size (`scaled`: it is to be made smaller): encoding it again only loses,
// so it is not even decoded.
bool OnlyTheOriginal(const ImageSource& source, const ImageSettings& settings, bool scaled);

// `pixels` is the prepared image's pixel count.
CandidatePlan PlanCandidates(const ImageSource& source, const ImageTraits& traits,
                             std::int64_t pixels, const ImageSettings& settings);

// A JPEG of the image an earlier round judged: its quality and colour SSIM.
struct JudgedJpeg {
    int quality = 0;
    double score = 0;
};

// Full quality, where what is sent must look the same as the image, in
// rounds: photos get lossy encodings at a quality that mostly looks the
// same (round 0) and, when none did, at higher ones that nearly always do
// (rounds 1 to 3); drawings and animations get their palettes and, as far
// as they can win on a drawing that flat, a lossless WebP and the lossy ones
// of round 1, in round 0. No encodings: no more rounds.
// Each is judged by its looks (VisuallyLossless) before it may be sent. A
// large lossy photo's JPEG is left out of a round when the score of the
// `judged` one of a lower quality says it cannot look the same either.
CandidatePlan PlanFullQuality(const ImageSource& source, const ImageTraits& traits,
                              std::int64_t pixels, const ImageSettings& settings, int round,
                              std::optional<JudgedJpeg> judged = {});

} // namespace zel::service
