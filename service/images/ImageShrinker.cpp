#include "ImageShrinker.h"

#include "BudgetedTasks.h"
#include "CandidatePlan.h"
#include "ImageEncoding.h"
#include "ImageTraits.h"
#include "JpegRepack.h"
#include "LooksAsGoodAsJpeg.h"
#include "PageError.h"
#include "QualityCalibration.h"
#include "VipsImageRef.h"
#include "VisuallyLossless.h"

#include <algorithm>
#include <atomic>
#include <cmath>
#include <mutex>
#include <optional>

namespace zel::service {
namespace {

constexpr int kMaxWidthBelowFullQuality = 1280;

// The header and, on demand, the pixels of the original (`pages` -1: all).
VipsImageRef Load(const std::string& bytes, ImageFormat format, int pages) {
    VipsImage* out = nullptr;
    void* data = const_cast<char*>(bytes.data());
    int failed = -1;
    switch (format) {
    case ImageFormat::Jpeg:
        failed = vips_jpegload_buffer(data, bytes.size(), &out, "access", VIPS_ACCESS_SEQUENTIAL,
                                      "autorotate", TRUE, nullptr);
        break;
    case ImageFormat::Png:
        failed = vips_pngload_buffer(data, bytes.size(), &out, "access", VIPS_ACCESS_SEQUENTIAL,
                                     nullptr);
        break;
    case ImageFormat::Gif:
        failed = vips_gifload_buffer(data, bytes.size(), &out, "access", VIPS_ACCESS_SEQUENTIAL,
                                     "n", pages, nullptr);
        break;
    case ImageFormat::Webp:
        failed = vips_webpload_buffer(data, bytes.size(), &out, "access", VIPS_ACCESS_SEQUENTIAL,
                                      "n", pages, nullptr);
        break;
    case ImageFormat::Avif:
    case ImageFormat::Unknown:
        break;
    }
    if (failed != 0) {
        vips_error_clear();
        return nullptr;
    }
    return VipsImageRef(out);
}

// The first frame at `width`, scaled down by the decoder where it can.
VipsImageRef LoadScaled(const std::string& bytes, int width) {
    VipsImage* out = nullptr;
    if (vips_thumbnail_buffer(const_cast<char*>(bytes.data()), bytes.size(), &out, width, "height",
                              VIPS_MAX_COORD, "size", VIPS_SIZE_DOWN, nullptr) != 0) {
        vips_error_clear();
        return nullptr;
    }
    return VipsImageRef(out);
}

bool IsGrey(VipsImage* image) {
    return image->Bands - (vips_image_hasalpha(image) ? 1 : 0) == 1;
}

// The width once the image is turned upright, as the decoder scales it.
int UprightWidth(VipsImage* header) {
    return vips_image_get_orientation_swap(header) ? vips_image_get_height(header)
                                                   : vips_image_get_width(header);
}

// The scale that fits an image into the page's box and the width cap.
double DownScale(std::int64_t width, std::int64_t height, ImageBox box) {
    if (width <= 0 || height <= 0)
        return 1.0;
    int maxWidth = kMaxWidthBelowFullQuality;
    if (box.width > 0)
        maxWidth = std::min(maxWidth, box.width);
    double scale = std::min(1.0, double(maxWidth) / double(width));
    if (box.height > 0)
        scale = std::min(scale, double(box.height) / double(height));
    return scale;
}

// The width the image is decoded at: at full quality sharp in its box on
// a screen of double density, below it the box and the width cap.
int DecodedWidth(VipsImage* header, const ImageSettings& settings, ImageBox box) {
    const int width = UprightWidth(header);
    const int height = vips_image_get_width(header) + vips_image_get_height(header) - width;
    const double scale =
        settings.quality >= 100 ? SharpScale(width, height, box) : DownScale(width, height, box);
    return std::clamp(int(std::lround(width * scale)), 1, width);
}

// Colours as the embedded profile means them, in sRGB: the profile is
// dropped when the image is written. One that cannot be applied is ignored.
VipsImageRef InSrgb(VipsImageRef image) {
    if (!image || !vips_image_get_typeof(image.get(), VIPS_META_ICC_NAME))
        return image;
    VipsImageRef converted = Then(Share(image.get()), [](VipsImage* in, VipsImage** out) {
        return vips_icc_transform(in, out, "srgb", "embedded", TRUE, "intent", VIPS_INTENT_RELATIVE,
                                  nullptr);
    });
    return converted ? std::move(converted) : std::move(image);
}

// 8-bit sRGB or grey with the settings' colours, in memory: every candidate
// reads the pixels again.
VipsImageRef Prepare(VipsImageRef image, bool grey) {
    const VipsInterpretation target = grey ? VIPS_INTERPRETATION_B_W : VIPS_INTERPRETATION_sRGB;
    image = Then(InSrgb(std::move(image)), [&](VipsImage* in, VipsImage** out) {
        return vips_colourspace(in, out, target, nullptr);
    });
    image = Then(std::move(image),
                 [](VipsImage* in, VipsImage** out) { return vips_cast_uchar(in, out, nullptr); });
    return Then(std::move(image), [](VipsImage* in, VipsImage** out) {
        return (*out = vips_image_copy_memory(in)) ? 0 : -1;
    });
}

Stage EncodingStage(const ImageEncoding& encoding) {
    switch (encoding.format) {
    case ImageFormat::Jpeg:
        return Stage::Jpeg;
    case ImageFormat::Png:
        return Stage::Png;
    case ImageFormat::Gif:
        return Stage::Gif;
    case ImageFormat::Avif:
        return Stage::Avif;
    case ImageFormat::Webp:
    case ImageFormat::Unknown:
        break;
    }
    return encoding.lossless || encoding.losslessPalette ? Stage::WebpLossless : Stage::Webp;
}

// A JPEG holds no alpha band; an opaque one is dropped before encoding.
std::optional<std::string> Encode(VipsImage* image, const ImageEncoding& encoding,
                                  StageClock* clock) {
    const StageClock::Scope timed(clock, EncodingStage(encoding));
    if (encoding.format != ImageFormat::Jpeg || !vips_image_hasalpha(image))
        return EncodeImage(image, encoding);
    const VipsImageRef opaque = Then(Share(image), [](VipsImage* in, VipsImage** out) {
        return vips_flatten(in, out, nullptr);
    });
    return opaque ? EncodeImage(opaque.get(), encoding) : std::nullopt;
}

// The original, and a lossless repacking of a JPEG.
std::vector<ShrunkImage> OriginalAndRepacked(const std::string& original, ImageFormat format) {
    std::vector<ShrunkImage> candidates{{original, format}};
    if (format == ImageFormat::Jpeg)
        if (std::optional<std::string> repacked = RepackJpeg(original))
            candidates.push_back({std::move(*repacked), ImageFormat::Jpeg});
    return candidates;
}

// The lossless WebPs of a palette in the plan that are made from the
// palette file `encoding` writes.
std::vector<ImageEncoding> MadeFrom(const ImageEncoding& encoding, const CandidatePlan& plan,
                                    bool alpha) {
    std::vector<ImageEncoding> made;
    for (const ImageEncoding& other : plan.encodings)
        if (other.losslessPalette && PaletteFileOf(other, alpha) == encoding)
            made.push_back(other);
    return made;
}

bool InPlan(const ImageEncoding& encoding, const CandidatePlan& plan) {
    return std::find(plan.encodings.begin(), plan.encodings.end(), encoding) !=
           plan.encodings.end();
}

// Encodes the plan side by side within the budget. A palette is quantised
// once: the lossless WebP of one is made from the palette file when the plan
// has that file too. `alongside`, when given, runs after the encodings have
// started, on a worker they leave idle: not run for time, it leaves none out.
std::vector<EncodedCandidate> EncodePlan(VipsImage* ready, const CandidatePlan& plan,
                                         const ImageBudget& budget,
                                         const std::function<void()>& alongside = {}) {
    const bool alpha = vips_image_hasalpha(ready);
    std::vector<EncodedCandidate> encoded;
    std::mutex encodedLock;
    const auto keep = [&](const ImageEncoding& encoding, std::string bytes) {
        const std::lock_guard<std::mutex> lock(encodedLock);
        encoded.push_back({encoding, std::move(bytes)});
    };
    std::vector<std::function<void()>> tasks;
    std::atomic<std::size_t> started{0};
    for (const ImageEncoding& encoding : plan.encodings) {
        if (encoding.losslessPalette && InPlan(PaletteFileOf(encoding, alpha), plan))
            continue;
        tasks.push_back([&, encoding] {
            ++started;
            std::optional<std::string> bytes = Encode(ready, encoding, budget.clock);
            if (bytes)
                for (const ImageEncoding& webp : MadeFrom(encoding, plan, alpha)) {
                    const StageClock::Scope timed(budget.clock, Stage::WebpLossless);
                    if (std::optional<std::string> lossless = LosslessWebpOf(*bytes))
                        keep(webp, std::move(*lossless));
                }
            // Helper threads end after the image: libvips' buffers for this
            // thread are freed, not left behind.
            vips_thread_shutdown();
            if (bytes)
                keep(encoding, std::move(*bytes));
        });
    }
    const std::size_t encodings = tasks.size();
    if (alongside)
        tasks.push_back(alongside);
    RunBudgeted(tasks, budget.workers, budget.deadline);
    if (started < encodings && budget.leftOut != nullptr)
        *budget.leftOut = true;
    return encoded;
}

// The candidates of the prepared image that may be sent: below full quality
// those looking as good as a JPEG at the user's quality, at full quality the
// smallest that looks the same. When none does, a scaled image goes out
// lossless rather than at a size it is not shown at, and a picture that came
// lossless goes as a lossless WebP when that is smaller.
std::vector<EncodedCandidate> Judged(VipsImage* ready, const ImageSource& source,
                                     const ImageSettings& settings, bool scaled,
                                     std::size_t originalSize, const ImageBudget& budget) {
    const std::int64_t pixels =
        std::int64_t(vips_image_get_width(ready)) * vips_image_get_height(ready);
    const ImageTraits traits = [&] {
        const StageClock::Scope decoding(budget.clock, Stage::Decode);
        return ReadTraits(ready);
    }();
    if (settings.quality < 100) {
        std::vector<EncodedCandidate> encoded =
            EncodePlan(ready, PlanCandidates(source, traits, pixels, settings), budget);
        const StageClock::Scope judged(budget.clock, Stage::Judge);
        KeepThoseLookingAsGoodAsJpeg(
            ready, CalibratedQuality(LossyEncoder::Jpeg, std::clamp(settings.quality, 1, 100)),
            originalSize, encoded);
        return encoded;
    }
    std::vector<EncodedCandidate> encoded;
    SameLookJudge judge(ready, traits, settings);
    for (int round = 0; encoded.empty(); ++round) {
        const CandidatePlan plan =
            PlanFullQuality(source, traits, pixels, settings, round, judge.BestJudgedJpeg());
        if (plan.encodings.empty())
            break;
        encoded = EncodePlan(ready, plan, budget, [&] {
            const StageClock::Scope judging(budget.clock, Stage::Judge);
            judge.MakeReferenceFor(plan);
            vips_thread_shutdown();
        });
        const StageClock::Scope judged(budget.clock, Stage::Judge);
        if (!judge.KeepSmallest(originalSize, encoded))
            break;
    }
    if (encoded.empty() && (scaled || !source.lossyPhoto) && !settings.gray &&
        settings.colors >= 256) {
        const ImageEncoding lossless{.format = ImageFormat::Webp, .lossless = true};
        if (std::optional<std::string> bytes = Encode(ready, lossless, budget.clock))
            encoded.push_back({lossless, std::move(*bytes)});
    }
    return encoded;
}

} // namespace

std::vector<ShrunkImage> ImageCandidates(const std::string& original, const ImageSettings& settings,
                                         ImageBox box, std::int64_t maxPixels,
                                         const ImageBudget& budget) {
    const ImageFormat format = SniffImageFormat(original);
    if (format == ImageFormat::Unknown)
        return {};
    const HeaderSize announced = SizeFromHeader(original, format);
    if (announced.width * announced.height > maxPixels)
        throw PageError(FailureKind::TooBig, "image too big");
    InitVipsOnce();
    std::optional<StageClock::Scope> decoding(std::in_place, budget.clock, Stage::Decode);
    VipsImageRef header = Load(original, format, 1);
    if (!header)
        return {};
    const std::int64_t pixels =
        std::int64_t(vips_image_get_width(header.get())) * vips_image_get_height(header.get());
    const int pages = std::max(1, vips_image_get_n_pages(header.get()));
    if (pixels * pages > maxPixels)
        throw PageError(FailureKind::TooBig, "image too big");
    const ImageSource source{format, IsLossyPhotoFormat(original), IsGrey(header.get()), pages > 1};
    // Animations keep their size: every frame would be scaled.
    const int width = source.animated ? vips_image_get_width(header.get())
                                      : DecodedWidth(header.get(), settings, box);
    const bool scaled = !source.animated && width < UprightWidth(header.get());
    if (OnlyTheOriginal(source, settings, scaled))
        return OriginalAndRepacked(original, format);
    VipsImageRef image = source.animated ? Load(original, format, -1) : LoadScaled(original, width);
    header.reset();
    const VipsImageRef ready = Prepare(std::move(image), settings.gray || source.grey);
    decoding.reset();
    if (!ready)
        return {};
    std::vector<EncodedCandidate> encoded =
        Judged(ready.get(), source, settings, scaled, original.size(), budget);
    std::vector<ShrunkImage> candidates;
    if (OriginalMeets(source, settings)) {
        // At full quality a JPEG that nothing beats is at least repacked.
        const bool beaten = std::any_of(encoded.begin(), encoded.end(), [&](const auto& candidate) {
            return candidate.bytes.size() < original.size();
        });
        candidates = settings.quality >= 100 && !beaten
                         ? OriginalAndRepacked(original, format)
                         : std::vector<ShrunkImage>{{original, format}};
    }
    for (EncodedCandidate& candidate : encoded)
        candidates.push_back({std::move(candidate.bytes), candidate.encoding.format});
    return candidates;
}

ShrunkImage ShrinkImage(const std::string& original, const ImageSettings& settings, ImageBox box,
                        std::int64_t maxPixels, const ImageBudget& budget) {
    std::vector<ShrunkImage> candidates =
        ImageCandidates(original, settings, box, maxPixels, budget);
    const auto best = std::min_element(
        candidates.begin(), candidates.end(),
        [](const ShrunkImage& a, const ShrunkImage& b) { return a.bytes.size() < b.bytes.size(); });
    if (best == candidates.end() || best->bytes.size() > original.size())
        return {original, SniffImageFormat(original)};
    return std::move(*best);
}

} // namespace zel::service
