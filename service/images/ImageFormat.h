#pragma once
// The image formats the service reads and writes, told by their first bytes,
// and the size a file's header announces before any pixel is decoded.

#include <cstdint>
#include <string_view>

namespace zel::service {

// AVIF is written only: its decoder stays blocked.
enum class ImageFormat { Unknown, Jpeg, Png, Gif, Webp, Avif };

ImageFormat SniffImageFormat(std::string_view bytes);
const char* ImageExtension(ImageFormat format);

// The libvips operation that decodes the format from memory, or nullptr.
const char* ImageLoader(ImageFormat format);

struct HeaderSize {
    std::int64_t width = 0;
    std::int64_t height = 0;
};
HeaderSize SizeFromHeader(std::string_view bytes, ImageFormat format);

// Whether the image may have several frames, which its header's size counts
// once: every GIF, and a WebP whose extended header says it is animated.
bool MayBeAnimated(std::string_view bytes, ImageFormat format);

// JPEG, or a WebP whose image is lossy: a photo, whatever its pixels say.
bool IsLossyPhotoFormat(std::string_view bytes);

} // namespace zel::service
