#pragma once
// At full quality the picture sent must look the same as the prepared image,
// at the size it is sent at (a screen of double density shows every pixel of
// a picture scaled to twice its box): its colour SSIM (ColourSsim: luminance
// and both colour differences) at least kSameLook. The candidates are judged
// from the smallest up and the first that passes is the only one kept;
// lossless ones pass unjudged, and so do palettes when the user's colours
// bound them (the loss was asked for) or when they hold every colour of an
// opaque image (nothing is lost).

#include "CandidatePlan.h" // JudgedJpeg
#include "ColourSsim.h"
#include "ImageTraits.h"
#include "LooksAsGoodAsJpeg.h" // EncodedCandidate
#include "PageTypes.h"

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include <vips/vips.h>

namespace zel::service {

constexpr double kSameLook = 0.99;
// Larger pictures are compared scaled down by a whole factor to about this
// many pixels: judging costs a few times as much as encoding otherwise.
constexpr std::int64_t kLargestSameLookJudged = 1'500'000;

class SameLookJudge {
public:
    // `prepared` must outlive the judge.
    SameLookJudge(VipsImage* prepared, const ImageTraits& traits, const ImageSettings& settings);

    // Keeps the smallest candidate below `originalSize` bytes that looks the
    // same, or none. The prepared image's planes are made once, at the first
    // candidate judged, for every round of candidates. False when some came
    // and none was smaller than the original: a round at higher qualities
    // would only be larger.
    bool KeepSmallest(std::size_t originalSize, std::vector<EncodedCandidate>& candidates);

    // Makes the prepared image's planes ahead, while the plan's candidates
    // are encoded, unless every one of them passes unjudged. Not to be
    // called while candidates are judged.
    void MakeReferenceFor(const CandidatePlan& plan);

    // The score of the JPEG of the highest quality judged so far (a bound
    // from above where it fell short), to plan the next round by.
    std::optional<JudgedJpeg> BestJudgedJpeg() const { return jpeg_; }

private:
    bool LooksTheSame(const EncodedCandidate& candidate);

    VipsImage* prepared_;
    ImageTraits traits_;
    ImageSettings settings_;
    int factor_;
    bool animated_;
    std::optional<ColourPlanes> reference_;
    std::optional<JudgedJpeg> jpeg_;
};

} // namespace zel::service
