#include "CandidatePlan.h"

#include "QualityCalibration.h"
#include "VisuallyLossless.h" // kSameLook

#include <algorithm>
#include <cmath>
#include <iterator>
#include <span>

namespace zel::service {
namespace {

// Above this many pixels an image of many colours that is not flat is a
// photo: quantising it is slow and never wins.
constexpr std::int64_t kLargePixels = 256 * 256;
// Screenshots and drawings repeat their left neighbour in most pixels.
constexpr double kFlatDrawing = 0.5;
// AVIF takes about as long as decoding a large photo and scaling it down:
// above this many pixels the image would cost twice as much. It is the
// costliest encoder by far, and it never wins by much on a picture of fewer
// than kManyColours colours, which the palettes hold nearly or wholly (on
// the manual screenshots of the savings corpus at 30/32 such pictures are
// 3% larger without it): it is tried on pictures of many colours only.
constexpr std::int64_t kAvifPixels = 1'000'000;
// Full quality: the encoders' own numbers at which photos mostly, and nearly
// always, look the same as the picture at the size sent (with colour at every
// pixel; measured on the savings benchmark's photos scaled to twice a
// gallery's box: JPEG at 80-96, WebP a few points higher and seldom smaller),
// round by round; 0: not tried. A photo shown at its own size (the manual's
// photo-like PNGs) may need the last rounds, still a third to a half of its
// PNG; AVIF gains little there.
struct FullRound {
    int jpeg, webp, avif;
};
constexpr FullRound kFullRounds[] = {{80, 85, 62}, {88, 92, 76}, {94, 97, 0}, {97, 100, 0}};
// JPEG and lossy WebP photos of more pixels than AVIF is tried on, mostly
// shown large at twice their box: JPEG at 80 looks the same on few of them
// at that size (2 of the 12 gallery photos), so they start at 88, without
// WebP, which passes there as seldom: half the encoding and judging, 2% more
// bytes. Smooth renders that came as PNG need WebP's early rounds.
constexpr FullRound kLargeRounds[] = {{88, 0, 0}, {94, 97, 0}, {97, 100, 0}};
// AVIF with colour at every pixel is slow: at full quality it is tried on
// small pictures of many colours only, where it saves the most (without it
// the manual's screenshots are 0.8% larger, for an eighth less CPU).
constexpr std::int64_t kFullAvifPixels = 512 * 512;

// How much closer to the picture a JPEG of a finer quantiser comes: SSIM's
// shortfall from 1 shrinks at most as the step to this power (libjpeg's
// step: 200 - 2 x quality from 50 on). Measured at full chroma from 88 to
// 94 and 94 to 97 on the savings corpus's photos scaled to 800 and 1280
// pixels: 0.15 to 1.24 (the Elephants painting), 1.2 on the image
// benchmark's noise photos. Re-encoding a JPEG on its own block grid gains
// far more (up to 4): large lossy photos are scaled when they get here.
constexpr double kShortfallPower = 1.5;

// Full quality, on the 400 pictures of the savings corpus with every
// candidate judged: on flat drawings (kFlatDrawing) a JPEG never won, and
// the palettes or lossy encodings beat a lossless WebP of every pixel (0.1%
// larger without it, for a sixth of the encoding time); on very flat ones
// the lossy encoders gave way to the palettes too: AVIF from here on (0.3%
// larger without it, half of AVIF's time on drawings) ...
constexpr double kFlatForAvif = 0.85;
// ... and lossy WebP from here on (no byte larger without it).
constexpr double kFlatForWebp = 0.9;

// The fewest colours a palette is chosen quickly for.
constexpr int kQuickPaletteColours = 32;

int BitDepth(int colors) {
    int depth = 1;
    while (depth < 8 && (1 << (depth + 1)) <= colors)
        ++depth;
    return depth;
}

double QuantiserStep(int quality) {
    return quality < 50 ? 5000.0 / quality : 200.0 - 2 * quality;
}

// A JPEG at `quality` falls short of the same look even by the most it can
// gain on the one judged.
bool JpegFallsShort(const std::optional<JudgedJpeg>& judged, int quality) {
    if (!judged || judged->quality >= quality)
        return false;
    const double finer = QuantiserStep(quality) / QuantiserStep(judged->quality);
    return (1 - judged->score) * std::pow(finer, kShortfallPower) > 1 - kSameLook;
}

bool IsPhoto(const ImageSource& source, const ImageTraits& traits, std::int64_t pixels) {
    return source.lossyPhoto || (traits.colours >= kManyColours && traits.flatness < kFlatDrawing &&
                                 pixels > kLargePixels);
}

// A JPEG cannot hold transparency or frames. Nor does it beat the palettes
// or the lossy WebP of a flat drawing in colour (not once on the manual pages
// of the savings corpus or the profile page's screenshots, nor at full
// quality on the whole corpus); in grey, it is the only lossy encoding.
bool JpegMayWin(const ImageSource& source, const ImageTraits& traits, bool photo,
                const ImageSettings& settings) {
    const bool flatInColour = !photo && traits.flatness >= kFlatDrawing && !settings.gray;
    return !source.animated && traits.transparency == Transparency::None && !flatInColour;
}

// Palettes within the user's colours: PNG, GIF and a lossless WebP of one.
// The lossless WebP of an opaque picture's undithered palette, made from
// the GIF, is smaller than the PNG of the same palette (on every one of the
// savings corpus's manual screenshots): that PNG is left out.
void AddPalettes(CandidatePlan& plan, const ImageSource& source, const ImageTraits& traits,
                 const ImageSettings& settings, bool dither) {
    const int bitdepth = BitDepth(std::clamp(settings.colors, 2, 256));
    const bool pngBitdepth = bitdepth == 1 || bitdepth == 2 || bitdepth == 4 || bitdepth == 8;
    // Below full quality no palette is judged by its looks; the quick one
    // leaves some of a few colours unused, so it is kept to 32 and more.
    const bool quick = settings.quality < 100 && settings.colors >= kQuickPaletteColours;
    auto& add = plan.encodings;
    const bool pngLoses = !dither && traits.transparency == Transparency::None;
    if (!source.animated && pngBitdepth && !pngLoses)
        add.push_back({.format = ImageFormat::Png,
                       .bitdepth = bitdepth,
                       .dither = dither,
                       .quickPalette = quick});
    // A still picture's GIF loses to the lossless WebP of the same palette:
    // it is made only as that WebP's palette file, for an opaque picture (a
    // transparent one's is the PNG), and for animations.
    if (source.animated ? traits.transparency != Transparency::Soft
                        : traits.transparency == Transparency::None)
        add.push_back({.format = ImageFormat::Gif,
                       .bitdepth = bitdepth,
                       .dither = dither,
                       .quickPalette = quick});
    if (!source.animated)
        add.push_back({.format = ImageFormat::Webp,
                       .bitdepth = bitdepth,
                       .losslessPalette = true,
                       .quickPalette = quick});
}

} // namespace

bool OriginalMeets(const ImageSource& source, const ImageSettings& settings) {
    // The colours bound palette images, which GIF and PNG originals may be.
    const bool palette = source.format == ImageFormat::Gif || source.format == ImageFormat::Png;
    return (!settings.gray || source.grey) && (!palette || settings.colors >= 256);
}

bool OnlyTheOriginal(const ImageSource& source, const ImageSettings& settings, bool scaled) {
    return source.lossyPhoto && settings.quality >= 100 && !scaled &&
           OriginalMeets(source, settings);
}

CandidatePlan PlanCandidates(const ImageSource& source, const ImageTraits& traits,
                             std::int64_t pixels, const ImageSettings& settings) {
    const int quality = std::clamp(settings.quality, 1, 100);
    const bool photo = IsPhoto(source, traits, pixels);
    CandidatePlan plan;
    auto add = [&](ImageEncoding encoding) { plan.encodings.push_back(encoding); };
    if (JpegMayWin(source, traits, photo, settings))
        add({.format = ImageFormat::Jpeg,
             .quality = CalibratedQuality(LossyEncoder::Jpeg, quality)});
    // Lossy WebP and AVIF store colour apart from brightness and bring back a
    // tinge of colour into grey pictures.
    if (!settings.gray)
        add({.format = ImageFormat::Webp,
             .quality = CalibratedQuality(LossyEncoder::Webp, quality)});
    // Palettes for drawings, animations, and a grey or transparent photo
    // that nothing above can hold.
    if (!photo || source.animated || plan.encodings.empty())
        AddPalettes(plan, source, traits, settings, photo);
    if (!settings.gray && !source.animated && pixels <= kAvifPixels &&
        traits.colours >= kManyColours)
        add({.format = ImageFormat::Avif,
             .quality = CalibratedQuality(LossyEncoder::Avif, quality)});
    return plan;
}

CandidatePlan PlanFullQuality(const ImageSource& source, const ImageTraits& traits,
                              std::int64_t pixels, const ImageSettings& settings, int round,
                              std::optional<JudgedJpeg> judged) {
    const bool photo = IsPhoto(source, traits, pixels) && !source.animated;
    const bool large = photo && source.lossyPhoto && pixels > kFullAvifPixels;
    const std::span<const FullRound> rounds =
        large ? std::span<const FullRound>(kLargeRounds) : std::span<const FullRound>(kFullRounds);
    CandidatePlan plan;
    // Drawings get one round, at the second one's quality: their edges need it.
    if (round >= (photo ? int(rounds.size()) : 1))
        return plan;
    const FullRound& qualities = photo ? rounds[round] : kFullRounds[1];
    const auto lossy = [&](ImageFormat format, int quality) {
        if (quality > 0)
            plan.encodings.push_back({.format = format, .quality = quality, .fullChroma = true});
    };
    // Flat drawings and very flat ones get fewer, as above.
    const double flatness = photo ? 0.0 : traits.flatness;
    if (!photo)
        AddPalettes(plan, source, traits, settings, false);
    if (JpegMayWin(source, traits, photo, settings) &&
        !(large && JpegFallsShort(judged, qualities.jpeg)))
        lossy(ImageFormat::Jpeg, qualities.jpeg);
    if (!settings.gray && flatness < kFlatForWebp)
        lossy(ImageFormat::Webp, qualities.webp);
    if (!settings.gray && !source.animated && pixels <= kFullAvifPixels &&
        traits.colours >= kManyColours && flatness < kFlatForAvif)
        lossy(ImageFormat::Avif, qualities.avif);
    if (!photo && settings.colors >= 256 && traits.colours >= kManyColours &&
        flatness < kFlatDrawing)
        plan.encodings.push_back({.format = ImageFormat::Webp, .lossless = true});
    return plan;
}

} // namespace zel::service
