#include "ImageShrinker.h"

#include "PageError.h"

#include <vips/vips.h>

#include <algorithm>
#include <memory>
#include <mutex>
#include <optional>
#include <vector>

namespace zel::service {
namespace {

constexpr int kMaxWidthBelowFullQuality = 1280;

struct ImageUnref {
    void operator()(VipsImage* image) const { g_object_unref(image); }
};
using Image = std::unique_ptr<VipsImage, ImageUnref>;

struct FormatNames {
    ImageFormat format;
    const char* loader;    // the libvips operation that decodes it from memory
    const char* extension; // for the file in the archive
};

constexpr FormatNames kFormats[] = {
    {ImageFormat::Jpeg, "jpegload_buffer", "jpg"},
    {ImageFormat::Png, "pngload_buffer", "png"},
    {ImageFormat::Gif, "gifload_buffer", "gif"},
    {ImageFormat::Webp, "webpload_buffer", "webp"},
};

// Once per process: no operation cache (every image is seen once), one worker
// thread, and every loader blocked but the four buffer loaders used here.
void InitVipsOnce() {
    static std::once_flag once;
    std::call_once(once, [] {
        if (VIPS_INIT("zelservice") != 0)
            return;
        vips_cache_set_max(0);
        vips_concurrency_set(1);
        vips_operation_block_set("VipsForeignLoad", TRUE);
        for (const FormatNames& names : kFormats) {
            const GType type = vips_type_find("VipsOperation", names.loader);
            if (type != 0)
                vips_operation_block_set(g_type_name(type), FALSE);
        }
    });
}

// `shrink` (1, 2, 4 or 8) lets the JPEG decoder scale down as it decodes.
Image Load(const std::string& bytes, ImageFormat format, int pages, int shrink = 1) {
    VipsImage* out = nullptr;
    void* data = const_cast<char*>(bytes.data());
    int failed = -1;
    switch (format) {
    case ImageFormat::Jpeg:
        failed = vips_jpegload_buffer(data, bytes.size(), &out, "access", VIPS_ACCESS_SEQUENTIAL,
                                      "autorotate", TRUE, "shrink", shrink, nullptr);
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
    case ImageFormat::Unknown:
        break;
    }
    if (failed != 0) {
        vips_error_clear();
        return nullptr;
    }
    return Image(out);
}

// Chains one operation: `step` writes its result to `out` and returns 0.
template <typename Step> Image Then(Image in, Step step) {
    if (!in)
        return nullptr;
    VipsImage* out = nullptr;
    if (step(in.get(), &out) != 0) {
        vips_error_clear();
        return nullptr;
    }
    return Image(out);
}

std::optional<std::string> Save(VipsImage* image, ImageFormat format, int quality, int bitdepth) {
    void* buffer = nullptr;
    size_t length = 0;
    int failed = -1;
    switch (format) {
    case ImageFormat::Jpeg:
        failed = vips_jpegsave_buffer(image, &buffer, &length, "Q", quality, "strip", TRUE,
                                      "optimize_coding", TRUE, nullptr);
        break;
    case ImageFormat::Gif:
        failed = vips_gifsave_buffer(image, &buffer, &length, "bitdepth", bitdepth, "strip", TRUE,
                                     nullptr);
        break;
    case ImageFormat::Png:
        failed = vips_pngsave_buffer(image, &buffer, &length, "palette", TRUE, "bitdepth", bitdepth,
                                     "compression", 9, "strip", TRUE, nullptr);
        break;
    case ImageFormat::Webp:
        failed =
            vips_webpsave_buffer(image, &buffer, &length, "Q", quality, "strip", TRUE, nullptr);
        break;
    case ImageFormat::Unknown:
        break;
    }
    if (failed != 0) {
        vips_error_clear();
        return std::nullopt;
    }
    std::string bytes(static_cast<const char*>(buffer), length);
    g_free(buffer);
    return bytes;
}

bool HasTransparency(VipsImage* image) {
    if (!vips_image_hasalpha(image))
        return false;
    VipsImage* alpha = nullptr;
    if (vips_extract_band(image, &alpha, image->Bands - 1, nullptr) != 0) {
        vips_error_clear();
        return true;
    }
    double lowest = 0;
    const int failed = vips_min(alpha, &lowest, nullptr);
    g_object_unref(alpha);
    if (failed != 0) {
        vips_error_clear();
        return true;
    }
    return lowest < (image->BandFmt == VIPS_FORMAT_USHORT ? 65535.0 : 255.0);
}

bool IsGrey(VipsImage* image) {
    return image->Bands - (vips_image_hasalpha(image) ? 1 : 0) == 1;
}

// The scale that fits an image into the page's box and the width cap.
double DownScale(std::int64_t width, std::int64_t height, ImageBox box) {
    if (width <= 0 || height <= 0)
        return 1.0;
    double scale = 1.0;
    int maxWidth = kMaxWidthBelowFullQuality;
    if (box.width > 0)
        maxWidth = std::min(maxWidth, box.width);
    scale = std::min(scale, double(maxWidth) / width);
    if (box.height > 0)
        scale = std::min(scale, double(box.height) / height);
    return scale;
}

// 8-bit sRGB or grey with the user's settings applied, ready to encode.
Image Prepare(Image image, const ImageSettings& settings, ImageBox box, bool animated) {
    if (settings.quality < 100 && !animated) {
        const double scale =
            DownScale(vips_image_get_width(image.get()), vips_image_get_height(image.get()), box);
        if (scale < 1.0)
            image = Then(std::move(image), [&](VipsImage* in, VipsImage** out) {
                return vips_resize(in, out, scale, nullptr);
            });
    }
    if (!image)
        return nullptr;
    const VipsInterpretation target =
        settings.gray || IsGrey(image.get()) ? VIPS_INTERPRETATION_B_W : VIPS_INTERPRETATION_sRGB;
    image = Then(std::move(image), [&](VipsImage* in, VipsImage** out) {
        return vips_colourspace(in, out, target, nullptr);
    });
    return Then(std::move(image),
                [](VipsImage* in, VipsImage** out) { return vips_cast_uchar(in, out, nullptr); });
}

int BitDepth(int colors) {
    int depth = 1;
    while (depth < 8 && (1 << (depth + 1)) <= colors)
        ++depth;
    return depth;
}

std::uint32_t BigEndian(std::string_view bytes, std::size_t at, int count) {
    std::uint32_t value = 0;
    for (int i = 0; i < count; ++i)
        value = (value << 8) | static_cast<unsigned char>(bytes[at + std::size_t(i)]);
    return value;
}

std::uint32_t LittleEndian(std::string_view bytes, std::size_t at, int count) {
    std::uint32_t value = 0;
    for (int i = count; i-- > 0;)
        value = (value << 8) | static_cast<unsigned char>(bytes[at + std::size_t(i)]);
    return value;
}

struct HeaderSize {
    std::int64_t width = 0;
    std::int64_t height = 0;
};

// The first frame marker of a JPEG: the size sits in its start-of-frame segment.
HeaderSize JpegSize(std::string_view bytes) {
    std::size_t at = 2;
    while (at + 9 < bytes.size()) {
        if (static_cast<unsigned char>(bytes[at]) != 0xFF)
            return {};
        const unsigned char marker = bytes[at + 1];
        if (marker == 0xFF) {
            ++at;
            continue;
        }
        const bool frame =
            marker >= 0xC0 && marker <= 0xCF && marker != 0xC4 && marker != 0xC8 && marker != 0xCC;
        if (frame)
            return {BigEndian(bytes, at + 7, 2), BigEndian(bytes, at + 5, 2)};
        at += 2 + BigEndian(bytes, at + 2, 2);
    }
    return {};
}

// The size the file's header announces, read before any decoder runs.
HeaderSize SizeFromHeader(std::string_view bytes, ImageFormat format) {
    switch (format) {
    case ImageFormat::Png:
        if (bytes.size() >= 24)
            return {BigEndian(bytes, 16, 4), BigEndian(bytes, 20, 4)};
        break;
    case ImageFormat::Gif:
        if (bytes.size() >= 10)
            return {LittleEndian(bytes, 6, 2), LittleEndian(bytes, 8, 2)};
        break;
    case ImageFormat::Webp:
        if (bytes.size() >= 30 && bytes.substr(12, 4) == "VP8X")
            return {LittleEndian(bytes, 24, 3) + 1, LittleEndian(bytes, 27, 3) + 1};
        if (bytes.size() >= 30 && bytes.substr(12, 4) == "VP8 ")
            return {LittleEndian(bytes, 26, 2) & 0x3FFF, LittleEndian(bytes, 28, 2) & 0x3FFF};
        if (bytes.size() >= 25 && bytes.substr(12, 4) == "VP8L") {
            const std::uint32_t bits = LittleEndian(bytes, 21, 4);
            return {(bits & 0x3FFF) + 1, ((bits >> 14) & 0x3FFF) + 1};
        }
        break;
    case ImageFormat::Jpeg:
        return JpegSize(bytes);
    case ImageFormat::Unknown:
        break;
    }
    return {};
}

} // namespace

ImageFormat SniffImageFormat(std::string_view bytes) {
    auto starts = [&](std::string_view magic, std::size_t at = 0) {
        return bytes.size() >= at + magic.size() && bytes.substr(at, magic.size()) == magic;
    };
    if (starts("\xFF\xD8\xFF"))
        return ImageFormat::Jpeg;
    if (starts("\x89PNG\r\n\x1A\n"))
        return ImageFormat::Png;
    if (starts("GIF87a") || starts("GIF89a"))
        return ImageFormat::Gif;
    if (starts("RIFF") && starts("WEBP", 8))
        return ImageFormat::Webp;
    return ImageFormat::Unknown;
}

const char* ImageExtension(ImageFormat format) {
    for (const FormatNames& names : kFormats)
        if (names.format == format)
            return names.extension;
    return "bin";
}

std::vector<ShrunkImage> ImageCandidates(const std::string& original, const ImageSettings& settings,
                                         ImageBox box, std::int64_t maxPixels) {
    const ImageFormat format = SniffImageFormat(original);
    if (format == ImageFormat::Unknown)
        return {};
    const HeaderSize announced = SizeFromHeader(original, format);
    if (announced.width * announced.height > maxPixels)
        throw PageError("Image too big");
    ImageSettings wanted = settings;
    wanted.quality = std::clamp(settings.quality, 1, 100);
    const bool photo = format == ImageFormat::Jpeg;
    int shrink = 1;
    if (photo && wanted.quality < 100)
        while (shrink < 8 && DownScale(announced.width, announced.height, box) * shrink * 2 <= 1.0)
            shrink *= 2;
    InitVipsOnce();
    Image image = Load(original, format, 1, shrink);
    if (!image)
        return {};
    const std::int64_t width = vips_image_get_width(image.get());
    const std::int64_t height = vips_image_get_height(image.get());
    const int pages = std::max(1, vips_image_get_n_pages(image.get()));
    if (width * height * pages > maxPixels)
        throw PageError("Image too big");
    const bool animated = pages > 1;
    if (animated)
        image = Load(original, format, -1);
    // Decoded once into memory: every candidate below reads the pixels again.
    image = Then(std::move(image), [](VipsImage* in, VipsImage** out) {
        return (*out = vips_image_copy_memory(in)) ? 0 : -1;
    });
    if (!image)
        return {};

    const int bitdepth = BitDepth(std::clamp(settings.colors, 2, 256));
    // The original competes only when it already meets the settings; the
    // colours bound palette images, which GIF and PNG originals may be.
    const bool palette = format == ImageFormat::Gif || format == ImageFormat::Png;
    const bool originalFits =
        (!wanted.gray || IsGrey(image.get())) && (!palette || settings.colors >= 256);
    const bool transparent = HasTransparency(image.get());
    Image ready = Prepare(std::move(image), wanted, box, animated);
    if (!ready)
        return {};

    std::vector<ShrunkImage> candidates;
    if (originalFits)
        candidates.push_back({original, format});
    auto add = [&](VipsImage* from, ImageFormat out) {
        if (auto bytes = Save(from, out, wanted.quality, bitdepth))
            candidates.push_back({std::move(*bytes), out});
    };
    if (!animated && !transparent) {
        // A JPEG cannot hold transparency; an opaque alpha band is dropped.
        Image opaque = nullptr;
        if (vips_image_hasalpha(ready.get()))
            opaque =
                Then(Image(static_cast<VipsImage*>(g_object_ref(ready.get()))),
                     [](VipsImage* in, VipsImage** out) { return vips_flatten(in, out, nullptr); });
        add(opaque ? opaque.get() : ready.get(), ImageFormat::Jpeg);
    }
    // A palette never wins for a photo, and quantising a large one is slow.
    if (!photo) {
        add(ready.get(), ImageFormat::Gif);
        if (!animated && (bitdepth == 1 || bitdepth == 2 || bitdepth == 4 || bitdepth == 8))
            add(ready.get(), ImageFormat::Png);
    }
    // Lossy WebP stores colour apart from brightness and brings back a tinge
    // of colour into grey pictures.
    if (!wanted.gray)
        add(ready.get(), ImageFormat::Webp);
    return candidates;
}

ShrunkImage ShrinkImage(const std::string& original, const ImageSettings& settings, ImageBox box,
                        std::int64_t maxPixels) {
    std::vector<ShrunkImage> candidates = ImageCandidates(original, settings, box, maxPixels);
    const auto best = std::min_element(
        candidates.begin(), candidates.end(),
        [](const ShrunkImage& a, const ShrunkImage& b) { return a.bytes.size() < b.bytes.size(); });
    if (best == candidates.end() || best->bytes.size() > original.size())
        return {original, SniffImageFormat(original)};
    return std::move(*best);
}

} // namespace zel::service
