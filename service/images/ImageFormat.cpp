#include "ImageFormat.h"

namespace zel::service {
namespace {

struct FormatNames {
    ImageFormat format;
    const char* loader;    // the libvips operation that decodes it from memory
    const char* extension; // for the file in the archive
};

constexpr FormatNames kFormats[] = {
    {ImageFormat::Jpeg, "jpegload_buffer", "jpg"}, {ImageFormat::Png, "pngload_buffer", "png"},
    {ImageFormat::Gif, "gifload_buffer", "gif"},   {ImageFormat::Webp, "webpload_buffer", "webp"},
    {ImageFormat::Avif, nullptr, "avif"},
};

const FormatNames* NamesOf(ImageFormat format) {
    for (const FormatNames& names : kFormats)
        if (names.format == format)
            return &names;
    return nullptr;
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

// The first chunk of a WebP that holds pixels: "VP8 " (lossy), "VP8L"
// (lossless) or "ANMF" (a frame of an animation).
std::string_view WebpImageChunk(std::string_view bytes) {
    std::size_t at = 12;
    while (at + 8 <= bytes.size()) {
        const std::string_view tag = bytes.substr(at, 4);
        if (tag == "VP8 " || tag == "VP8L" || tag == "ANMF")
            return tag;
        const std::uint32_t size = LittleEndian(bytes, at + 4, 4);
        at += 8 + std::size_t(size) + (size & 1);
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
    const FormatNames* names = NamesOf(format);
    return names ? names->extension : "bin";
}

const char* ImageLoader(ImageFormat format) {
    const FormatNames* names = NamesOf(format);
    return names ? names->loader : nullptr;
}

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
    case ImageFormat::Avif:
    case ImageFormat::Unknown:
        break;
    }
    return {};
}

bool MayBeAnimated(std::string_view bytes, ImageFormat format) {
    constexpr std::size_t kWebpFlags = 20; // of the extended header, "VP8X"
    constexpr unsigned char kWebpAnimated = 0x02;
    return format == ImageFormat::Gif ||
           (format == ImageFormat::Webp && bytes.size() > kWebpFlags &&
            bytes.substr(12, 4) == "VP8X" && (bytes[kWebpFlags] & kWebpAnimated));
}

bool IsLossyPhotoFormat(std::string_view bytes) {
    switch (SniffImageFormat(bytes)) {
    case ImageFormat::Jpeg:
        return true;
    case ImageFormat::Webp:
        return WebpImageChunk(bytes) == "VP8 ";
    default:
        return false;
    }
}

} // namespace zel::service
