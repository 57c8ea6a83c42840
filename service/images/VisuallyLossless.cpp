#include "VisuallyLossless.h"

#include <algorithm>
#include <cmath>
#include <stdexcept>

namespace zel::service {
namespace {

bool IsPalette(const ImageEncoding& encoding) {
    return encoding.format == ImageFormat::Gif || encoding.format == ImageFormat::Png ||
           encoding.losslessPalette;
}

// An undithered palette with room for every colour of the image keeps every
// pixel. A full one need not: libvips' GIF writer gives a picture of exactly
// 256 colours back up to two levels off.
bool HoldsEveryColour(const ImageEncoding& encoding, const ImageTraits& traits) {
    return (!encoding.dither || encoding.losslessPalette) &&
           traits.transparency == Transparency::None && traits.colours < (1 << encoding.bitdepth);
}

bool PassesUnjudged(const ImageEncoding& encoding, const ImageTraits& traits,
                    const ImageSettings& settings) {
    return encoding.lossless ||
           (IsPalette(encoding) && (settings.colors < 256 || HoldsEveryColour(encoding, traits)));
}

int JudgedFactor(VipsImage* image) {
    const double pixels = double(vips_image_get_width(image)) * vips_image_get_height(image);
    return std::max(1, int(std::ceil(std::sqrt(pixels / double(kLargestSameLookJudged)))));
}

} // namespace

SameLookJudge::SameLookJudge(VipsImage* prepared, const ImageTraits& traits,
                             const ImageSettings& settings)
    : prepared_(prepared), traits_(traits), settings_(settings), factor_(JudgedFactor(prepared)),
      animated_(vips_image_get_n_pages(prepared) > 1) {}

void SameLookJudge::MakeReferenceFor(const CandidatePlan& plan) {
    const bool judged = std::any_of(plan.encodings.begin(), plan.encodings.end(), [&](auto& e) {
        return !PassesUnjudged(e, traits_, settings_);
    });
    if (judged && !reference_)
        try {
            reference_ = ColourPlanes::FromImage(prepared_, factor_);
        } catch (const std::exception&) {
            // made again, and failing again, where a candidate is judged
        }
}

bool SameLookJudge::LooksTheSame(const EncodedCandidate& candidate) {
    if (PassesUnjudged(candidate.encoding, traits_, settings_))
        return true;
    try {
        if (!reference_)
            reference_ = ColourPlanes::FromImage(prepared_, factor_);
        const double score = ColourSsimUpTo(
            *reference_, ColourPlanes::FromBuffer(candidate.bytes, animated_, factor_), kSameLook);
        const ImageEncoding& encoding = candidate.encoding;
        if (encoding.format == ImageFormat::Jpeg && (!jpeg_ || jpeg_->quality < encoding.quality))
            jpeg_ = JudgedJpeg{encoding.quality, score};
        return score >= kSameLook;
    } catch (const std::exception&) {
        return false; // does not decode to the same size: not sent
    }
}

bool SameLookJudge::KeepSmallest(std::size_t originalSize,
                                 std::vector<EncodedCandidate>& candidates) {
    std::sort(candidates.begin(), candidates.end(),
              [](const auto& a, const auto& b) { return a.bytes.size() < b.bytes.size(); });
    const bool smaller = candidates.empty() || candidates.front().bytes.size() < originalSize;
    for (EncodedCandidate& candidate : candidates) {
        if (candidate.bytes.size() >= originalSize)
            break; // the original is sent instead
        if (LooksTheSame(candidate)) {
            std::vector<EncodedCandidate> kept;
            kept.push_back(std::move(candidate));
            candidates = std::move(kept);
            return true;
        }
    }
    candidates.clear();
    return smaller;
}

} // namespace zel::service
