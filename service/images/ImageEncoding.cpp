#include "ImageEncoding.h"

#include "QuantisedRgba.h"
#include "VipsImageRef.h"
#include "WebpMetadata.h"

namespace zel::service {
namespace {

// Cheaper settings than the encoders' defaults that cost little in size.
constexpr int kWebpEffort = 2;
constexpr int kAvifEffort = 2;
// A palette's lossless WebP at the lowest effort that still finds the
// palette: on the profile page's 58 screenshots the same bytes for a quarter
// less of the stage's time; on four manual pages 0.5% larger at 100/256.
constexpr int kPaletteWebpEffort = 1;
// libimagequant's effort for a quick palette, and its default: on the profile
// page's 58 screenshots at 30/32 the same bytes for half the GIF's time. The
// quick one drops each channel's lowest bit first (libvips 8.14 with
// libimagequant), so a picture of few colours comes back a level off: it is
// for settings that bound the colours, never where a palette must keep them.
constexpr int kQuickPaletteEffort = 3;
constexpr int kPaletteEffort = 7;

int PaletteEffort(const ImageEncoding& encoding) {
    return encoding.quickPalette ? kQuickPaletteEffort : kPaletteEffort;
}

// By reference: the encoder call in the first argument fills them.
std::optional<std::string> Taken(int failed, void*& buffer, const size_t& length) {
    if (failed != 0) {
        vips_error_clear();
        return std::nullopt;
    }
    std::string bytes(static_cast<const char*>(buffer), length);
    g_free(buffer);
    return bytes;
}

VipsForeignSubsample Subsampling(const ImageEncoding& encoding) {
    return encoding.fullChroma ? VIPS_FOREIGN_SUBSAMPLE_OFF : VIPS_FOREIGN_SUBSAMPLE_AUTO;
}

std::optional<std::string> Stripped(std::optional<std::string> webp) {
    if (webp)
        *webp = WithoutWebpMetadata(*webp);
    return webp;
}

std::optional<std::string> PalettePng(VipsImage* image, const ImageEncoding& encoding) {
    void* buffer = nullptr;
    size_t length = 0;
    const int failed =
        vips_pngsave_buffer(image, &buffer, &length, "palette", TRUE, "bitdepth", encoding.bitdepth,
                            "dither", encoding.dither ? 1.0 : 0.0, "effort",
                            PaletteEffort(encoding), "compression", 9, "strip", TRUE, nullptr);
    return Taken(failed, buffer, length);
}

std::optional<std::string> PaletteGif(VipsImage* image, const ImageEncoding& encoding) {
    void* buffer = nullptr;
    size_t length = 0;
    const int failed = vips_gifsave_buffer(image, &buffer, &length, "bitdepth", encoding.bitdepth,
                                           "dither", encoding.dither ? 1.0 : 0.0, "effort",
                                           PaletteEffort(encoding), "strip", TRUE, nullptr);
    return Taken(failed, buffer, length);
}

bool IsPngBitdepth(int bitdepth) {
    return bitdepth == 1 || bitdepth == 2 || bitdepth == 4 || bitdepth == 8;
}

std::optional<std::string> LosslessWebp(VipsImage* image) {
    if (!image)
        return std::nullopt;
    void* buffer = nullptr;
    size_t length = 0;
    const int failed = vips_webpsave_buffer(image, &buffer, &length, "lossless", TRUE, "effort",
                                            kPaletteWebpEffort, "strip", TRUE, nullptr);
    return Stripped(Taken(failed, buffer, length));
}

} // namespace

// The image quantised without dithering, so the lossless WebP holds exactly
// the palette's colours. GIF takes any palette size but only on/off
// transparency.
ImageEncoding PaletteFileOf(const ImageEncoding& losslessPalette, bool alpha) {
    return {.format = alpha ? ImageFormat::Png : ImageFormat::Gif,
            .bitdepth = losslessPalette.bitdepth,
            .dither = false,
            .quickPalette = losslessPalette.quickPalette};
}

std::optional<std::string> LosslessWebpOf(const std::string& paletteFile) {
    void* data = const_cast<char*>(paletteFile.data());
    VipsImage* loaded = nullptr;
    const int unread = SniffImageFormat(paletteFile) == ImageFormat::Png
                           ? vips_pngload_buffer(data, paletteFile.size(), &loaded, nullptr)
                           : vips_gifload_buffer(data, paletteFile.size(), &loaded, nullptr);
    if (unread != 0) {
        vips_error_clear();
        return std::nullopt;
    }
    const VipsImageRef quantised(loaded);
    return LosslessWebp(quantised.get());
}

std::optional<std::string> EncodeImage(VipsImage* image, const ImageEncoding& encoding) {
    void* buffer = nullptr;
    size_t length = 0;
    switch (encoding.format) {
    case ImageFormat::Jpeg:
        return Taken(vips_jpegsave_buffer(image, &buffer, &length, "Q", encoding.quality, "strip",
                                          TRUE, "optimize_coding", TRUE, "subsample_mode",
                                          Subsampling(encoding), nullptr),
                     buffer, length);
    case ImageFormat::Gif:
        return PaletteGif(image, encoding);
    case ImageFormat::Png:
        return PalettePng(image, encoding);
    case ImageFormat::Webp:
        if (encoding.losslessPalette) {
            // A PNG palette of partial transparency holds 2, 4, 16 or 256 colours.
            if (vips_image_hasalpha(image) && !IsPngBitdepth(encoding.bitdepth))
                return LosslessWebp(QuantisedRgba(image, 1 << encoding.bitdepth).get());
            const std::optional<std::string> palette =
                EncodeImage(image, PaletteFileOf(encoding, vips_image_hasalpha(image)));
            return palette ? LosslessWebpOf(*palette) : std::nullopt;
        }
        if (encoding.lossless)
            return Stripped(
                Taken(vips_webpsave_buffer(image, &buffer, &length, "lossless", TRUE, "effort",
                                           kWebpEffort, "strip", TRUE, nullptr),
                      buffer, length));
        return Stripped(Taken(vips_webpsave_buffer(image, &buffer, &length, "Q", encoding.quality,
                                                   "effort", kWebpEffort, "strip", TRUE,
                                                   "smart_subsample", encoding.fullChroma, nullptr),
                              buffer, length));
    case ImageFormat::Avif:
        return Taken(vips_heifsave_buffer(image, &buffer, &length, "compression",
                                          VIPS_FOREIGN_HEIF_COMPRESSION_AV1, "Q", encoding.quality,
                                          "effort", kAvifEffort, "strip", TRUE, "subsample_mode",
                                          Subsampling(encoding), nullptr),
                     buffer, length);
    case ImageFormat::Unknown:
        break;
    }
    return std::nullopt;
}

} // namespace zel::service
