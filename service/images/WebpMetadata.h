#pragma once
// libvips 8.14's WebP encoder writes an EXIF chunk even when told to strip
// the metadata: nearly 200 bytes on every WebP, more than a small picture.

#include <string>

namespace zel::service {

// The WebP without its ICCP, EXIF and XMP chunks, the flags and sizes that
// name them adjusted. Bytes that are no well-formed WebP come back as they are.
std::string WithoutWebpMetadata(const std::string& webp);

} // namespace zel::service
