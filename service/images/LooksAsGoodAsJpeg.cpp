#include "LooksAsGoodAsJpeg.h"

#include "OverWhite.h"
#include "QualityCalibration.h"
#include "Ssim.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <optional>
#include <stdexcept>

namespace zel::service {
namespace {

bool IsJudged(const ImageEncoding& encoding) {
    return encoding.format == ImageFormat::Avif ||
           (encoding.format == ImageFormat::Webp && !encoding.losslessPalette);
}

// Pictures are compared at about 256 pixels on their short side, as SSIM is
// usually taken: a large photo then costs milliseconds, not a second.
LumaPlane AtJudgedSize(const LumaPlane& plane) {
    const int factor =
        std::max(1, int(std::lround(std::min(plane.Width(), plane.Height()) / 256.0)));
    return factor == 1 ? plane : plane.ScaledTo(plane.Width() / factor, plane.Height() / factor);
}

// The SSIM of the encoded bytes against the reference (at the judged size);
// none when they do not decode to a picture of the original size.
std::optional<double> SsimOf(const LumaPlane& reference, const std::optional<std::string>& bytes) {
    if (!bytes)
        return std::nullopt;
    try {
        return Ssim(reference, AtJudgedSize(LumaPlane::FromBuffer(*bytes))).mean;
    } catch (const std::exception&) {
        return std::nullopt;
    }
}

// A JPEG of the image laid over white: what its luminance would look like
// as a JPEG, transparency aside.
std::optional<std::string> YardstickJpeg(VipsImage* prepared, int quality) {
    try {
        return EncodeImage(OverWhite(prepared).get(),
                           {.format = ImageFormat::Jpeg, .quality = quality});
    } catch (const std::exception&) {
        return std::nullopt;
    }
}

// The same encoder, kRetryPoints higher on JPEG's scale.
ImageEncoding Raised(ImageEncoding encoding, int jpegQuality) {
    const LossyEncoder encoder =
        encoding.format == ImageFormat::Avif ? LossyEncoder::Avif : LossyEncoder::Webp;
    encoding.quality = CalibratedQuality(encoder, std::min(100, jpegQuality + kRetryPoints));
    return encoding;
}

} // namespace

void KeepThoseLookingAsGoodAsJpeg(VipsImage* prepared, int jpegQuality, std::size_t originalSize,
                                  std::vector<EncodedCandidate>& candidates) {
    if (std::int64_t(vips_image_get_width(prepared)) * vips_image_get_height(prepared) >
        kLargestJudged)
        return;
    const auto bySize = [](const EncodedCandidate& a, const EncodedCandidate& b) {
        return a.bytes.size() < b.bytes.size();
    };
    // Only the smallest is sent, and only if it is smaller than the original.
    const auto winner = [&] {
        const auto smallest = std::min_element(candidates.begin(), candidates.end(), bySize);
        return smallest != candidates.end() && smallest->bytes.size() < originalSize &&
                       IsJudged(smallest->encoding)
                   ? smallest
                   : candidates.end();
    };
    if (winner() == candidates.end())
        return;
    const auto jpeg = std::find_if(candidates.begin(), candidates.end(), [](const auto& candidate) {
        return candidate.encoding.format == ImageFormat::Jpeg;
    });
    const std::size_t jpegSize =
        jpeg == candidates.end() ? std::numeric_limits<std::size_t>::max() : jpeg->bytes.size();
    const std::optional<std::string> yardstick =
        jpeg == candidates.end() ? YardstickJpeg(prepared, jpegQuality) : jpeg->bytes;
    std::optional<LumaPlane> reference;
    try {
        reference = AtJudgedSize(LumaPlane::FromImage(prepared));
    } catch (const std::exception&) {
        return; // nothing to judge against: every candidate stays
    }
    const std::optional<double> jpegSsim = SsimOf(*reference, yardstick);
    if (!jpegSsim)
        return;
    const auto passes = [&](const std::optional<std::string>& bytes) {
        const std::optional<double> ssim = SsimOf(*reference, bytes);
        return ssim && *ssim >= *jpegSsim - kSsimSlack;
    };
    // Each round passes the would-be winner, raises it once, or drops it.
    for (auto judged = winner(); judged != candidates.end(); judged = winner()) {
        if (passes(judged->bytes))
            return;
        const ImageEncoding raised = Raised(judged->encoding, jpegQuality);
        std::optional<std::string> bytes;
        if (raised.quality > judged->encoding.quality)
            bytes = EncodeImage(prepared, raised);
        if (bytes && bytes->size() < jpegSize && passes(bytes)) {
            *judged = {raised, std::move(*bytes)};
            if (winner() == judged)
                return;
        } else {
            candidates.erase(judged);
        }
    }
}

} // namespace zel::service
