#include "ImageShrinker.h"

#include "BudgetedTasks.h"
#include "CandidatePlan.h"
#include "ImageEncoding.h"
#include "ImageTraits.h"
#include "LooksAsGoodAsJpeg.h"
#include "PageError.h"
#include "QualityCalibration.h"
#include "VipsImageRef.h"

#include <algorithm>
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

// The width the image is decoded at: its own at full quality.
int DecodedWidth(VipsImage* header, const ImageSettings& settings, ImageBox box) {
    const int width = vips_image_get_width(header);
    if (settings.quality >= 100)
        return width;
    const double scale = DownScale(width, vips_image_get_height(header), box);
    return std::max(1, int(std::lround(width * scale)));
}

// 8-bit sRGB or grey with the settings' colours, in memory: every candidate
// reads the pixels again.
VipsImageRef Prepare(VipsImageRef image, bool grey) {
    const VipsInterpretation target = grey ? VIPS_INTERPRETATION_B_W : VIPS_INTERPRETATION_sRGB;
    image = Then(std::move(image), [&](VipsImage* in, VipsImage** out) {
        return vips_colourspace(in, out, target, nullptr);
    });
    image = Then(std::move(image),
                 [](VipsImage* in, VipsImage** out) { return vips_cast_uchar(in, out, nullptr); });
    return Then(std::move(image), [](VipsImage* in, VipsImage** out) {
        return (*out = vips_image_copy_memory(in)) ? 0 : -1;
    });
}

// A JPEG holds no alpha band; an opaque one is dropped before encoding.
std::optional<std::string> Encode(VipsImage* image, const ImageEncoding& encoding) {
    if (encoding.format != ImageFormat::Jpeg || !vips_image_hasalpha(image))
        return EncodeImage(image, encoding);
    const VipsImageRef opaque = Then(Share(image), [](VipsImage* in, VipsImage** out) {
        return vips_flatten(in, out, nullptr);
    });
    return opaque ? EncodeImage(opaque.get(), encoding) : std::nullopt;
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
        throw PageError("Image too big");
    InitVipsOnce();
    VipsImageRef header = Load(original, format, 1);
    if (!header)
        return {};
    const std::int64_t pixels =
        std::int64_t(vips_image_get_width(header.get())) * vips_image_get_height(header.get());
    const int pages = std::max(1, vips_image_get_n_pages(header.get()));
    if (pixels * pages > maxPixels)
        throw PageError("Image too big");
    const ImageSource source{format, IsLossyPhotoFormat(original), IsGrey(header.get()), pages > 1};
    if (OnlyTheOriginal(source, settings))
        return {{original, format}};
    VipsImageRef image = source.animated
                             ? Load(original, format, -1)
                             : LoadScaled(original, DecodedWidth(header.get(), settings, box));
    header.reset();
    const VipsImageRef ready = Prepare(std::move(image), settings.gray || source.grey);
    if (!ready)
        return {};

    const std::int64_t readyPixels =
        std::int64_t(vips_image_get_width(ready.get())) * vips_image_get_height(ready.get());
    const CandidatePlan plan =
        PlanCandidates(source, ReadTraits(ready.get()), readyPixels, settings);
    std::vector<EncodedCandidate> encoded;
    std::mutex encodedLock;
    std::vector<std::function<void()>> tasks;
    for (const ImageEncoding& encoding : plan.encodings)
        tasks.push_back([&, encoding] {
            std::optional<std::string> bytes = Encode(ready.get(), encoding);
            // Helper threads end after the image: libvips' buffers for this
            // thread are freed, not left behind.
            vips_thread_shutdown();
            if (bytes) {
                const std::lock_guard<std::mutex> lock(encodedLock);
                encoded.push_back({encoding, std::move(*bytes)});
            }
        });
    RunBudgeted(tasks, budget.workers, budget.deadline);
    KeepThoseLookingAsGoodAsJpeg(
        ready.get(), CalibratedQuality(LossyEncoder::Jpeg, std::clamp(settings.quality, 1, 100)),
        original.size(), encoded);

    std::vector<ShrunkImage> candidates;
    if (plan.originalCompetes)
        candidates.push_back({original, format});
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
