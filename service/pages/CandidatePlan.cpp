#include "CandidatePlan.h"

#include "QualityCalibration.h"

#include <algorithm>

namespace zel::service {
namespace {

// Above this many pixels an image of many colours that is not flat is a
// photo: quantising it is slow and never wins.
constexpr std::int64_t kLargePixels = 256 * 256;
// Screenshots and drawings repeat their left neighbour in most pixels.
constexpr double kFlatDrawing = 0.5;
// AVIF takes about as long as decoding a large photo and scaling it down:
// above this many pixels the image would cost twice as much.
constexpr std::int64_t kAvifPixels = 1'000'000;

int BitDepth(int colors) {
    int depth = 1;
    while (depth < 8 && (1 << (depth + 1)) <= colors)
        ++depth;
    return depth;
}

bool IsPhoto(const ImageSource& source, const ImageTraits& traits, std::int64_t pixels) {
    return source.lossyPhoto || (traits.colours >= kManyColours && traits.flatness < kFlatDrawing &&
                                 pixels > kLargePixels);
}

bool OriginalMeets(const ImageSource& source, const ImageSettings& settings) {
    // The colours bound palette images, which GIF and PNG originals may be.
    const bool palette = source.format == ImageFormat::Gif || source.format == ImageFormat::Png;
    return (!settings.gray || source.grey) && (!palette || settings.colors >= 256);
}

} // namespace

bool OnlyTheOriginal(const ImageSource& source, const ImageSettings& settings) {
    return source.lossyPhoto && settings.quality >= 100 && OriginalMeets(source, settings);
}

CandidatePlan PlanCandidates(const ImageSource& source, const ImageTraits& traits,
                             std::int64_t pixels, const ImageSettings& settings) {
    const int quality = std::clamp(settings.quality, 1, 100);
    const int bitdepth = BitDepth(std::clamp(settings.colors, 2, 256));
    const bool photo = IsPhoto(source, traits, pixels);
    CandidatePlan plan;
    plan.originalCompetes = OriginalMeets(source, settings);
    if (OnlyTheOriginal(source, settings))
        return plan;
    auto add = [&](ImageEncoding encoding) { plan.encodings.push_back(encoding); };
    // A JPEG cannot hold transparency.
    if (!source.animated && traits.transparency == Transparency::None)
        add({.format = ImageFormat::Jpeg,
             .quality = CalibratedQuality(LossyEncoder::Jpeg, quality)});
    // Lossy WebP and AVIF store colour apart from brightness and bring back a
    // tinge of colour into grey pictures.
    if (!settings.gray)
        add({.format = ImageFormat::Webp,
             .quality = CalibratedQuality(LossyEncoder::Webp, quality)});
    // Palettes for drawings, animations, and a grey or transparent photo
    // that nothing above can hold.
    if (!photo || source.animated || plan.encodings.empty()) {
        const bool pngBitdepth = bitdepth == 1 || bitdepth == 2 || bitdepth == 4 || bitdepth == 8;
        if (!source.animated && pngBitdepth)
            add({.format = ImageFormat::Png, .bitdepth = bitdepth, .dither = photo});
        if (traits.transparency != Transparency::Soft)
            add({.format = ImageFormat::Gif, .bitdepth = bitdepth, .dither = photo});
        if (!source.animated)
            add({.format = ImageFormat::Webp, .bitdepth = bitdepth, .losslessPalette = true});
    }
    if (!settings.gray && !source.animated && pixels <= kAvifPixels)
        add({.format = ImageFormat::Avif,
             .quality = CalibratedQuality(LossyEncoder::Avif, quality)});
    return plan;
}

} // namespace zel::service
