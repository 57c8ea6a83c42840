#include "VisuallyLossless.h"

#include "ColourSsim.h"

#include <algorithm>
#include <cmath>
#include <optional>
#include <stdexcept>

namespace zel::service {
namespace {

bool IsPalette(const ImageEncoding& encoding) {
    return encoding.format == ImageFormat::Gif || encoding.format == ImageFormat::Png ||
           encoding.losslessPalette;
}

// An undithered palette as large as the image's colours keeps every pixel.
bool HoldsEveryColour(const ImageEncoding& encoding, const ImageTraits& traits) {
    return (!encoding.dither || encoding.losslessPalette) &&
           traits.transparency == Transparency::None && traits.colours <= (1 << encoding.bitdepth);
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

void KeepSmallestLookingTheSame(VipsImage* prepared, const ImageTraits& traits,
                                const ImageSettings& settings, std::size_t originalSize,
                                int shownFactor, std::vector<EncodedCandidate>& candidates) {
    std::sort(candidates.begin(), candidates.end(),
              [](const auto& a, const auto& b) { return a.bytes.size() < b.bytes.size(); });
    const int factor = std::max(shownFactor, JudgedFactor(prepared));
    const bool animated = vips_image_get_n_pages(prepared) > 1;
    std::optional<ColourPlanes> reference;
    for (auto candidate = candidates.begin(); candidate != candidates.end(); ++candidate) {
        if (candidate->bytes.size() >= originalSize)
            break; // the original is sent instead
        bool same = PassesUnjudged(candidate->encoding, traits, settings);
        try {
            if (!same) {
                if (!reference)
                    reference = ColourPlanes::FromImage(prepared, factor);
                const ColourPlanes planes =
                    ColourPlanes::FromBuffer(candidate->bytes, animated, factor);
                same = ColourSsim(*reference, planes) >= kSameLook;
            }
        } catch (const std::exception&) {
            same = false; // does not decode to the same size: not sent
        }
        if (same) {
            std::vector<EncodedCandidate> kept;
            kept.push_back(std::move(*candidate));
            candidates = std::move(kept);
            return;
        }
    }
    candidates.clear();
}

} // namespace zel::service
