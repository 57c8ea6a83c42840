#include "LooksAsGoodAsJpeg.h"

#include "Ssim.h"

#include <algorithm>
#include <optional>
#include <stdexcept>

namespace zel::service {
namespace {

bool IsJudged(const ImageEncoding& encoding) {
    return encoding.format == ImageFormat::Avif ||
           (encoding.format == ImageFormat::Webp && !encoding.losslessPalette);
}

// The SSIM of the encoded bytes against the reference; none when they do not
// decode to a picture of the reference's size.
std::optional<double> SsimOf(const LumaPlane& reference, const std::string& bytes) {
    try {
        return Ssim(reference, LumaPlane::FromBuffer(bytes)).mean;
    } catch (const std::exception&) {
        return std::nullopt;
    }
}

} // namespace

void KeepThoseLookingAsGoodAsJpeg(VipsImage* prepared, std::vector<EncodedCandidate>& candidates) {
    const auto jpeg = std::find_if(candidates.begin(), candidates.end(), [](const auto& candidate) {
        return candidate.encoding.format == ImageFormat::Jpeg;
    });
    if (jpeg == candidates.end())
        return;
    const std::size_t jpegSize = jpeg->bytes.size();
    // Only a smaller candidate could win over the JPEG.
    const auto challenges = [jpegSize](const EncodedCandidate& candidate) {
        return IsJudged(candidate.encoding) && candidate.bytes.size() < jpegSize;
    };
    if (std::none_of(candidates.begin(), candidates.end(), challenges))
        return;
    std::optional<LumaPlane> reference;
    try {
        reference = LumaPlane::FromImage(prepared);
    } catch (const std::exception&) {
        return; // nothing to judge against: every candidate stays, as before
    }
    const std::optional<double> jpegSsim = SsimOf(*reference, jpeg->bytes);
    if (!jpegSsim)
        return;
    std::erase_if(candidates, [&](const EncodedCandidate& candidate) {
        if (!challenges(candidate))
            return false;
        const std::optional<double> ssim = SsimOf(*reference, candidate.bytes);
        return !ssim || *ssim < *jpegSsim - kSsimSlack;
    });
}

} // namespace zel::service
