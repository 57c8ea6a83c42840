#include "WebpMetadata.h"

#include <cstdint>

namespace zel::service {
namespace {

constexpr std::size_t kHeaderBytes = 12; // "RIFF", size, "WEBP"
constexpr std::size_t kFlagsAt = kHeaderBytes + 8;
constexpr unsigned char kMetadataFlags = 0x20 | 0x08 | 0x04; // ICC, EXIF, XMP

std::uint32_t ReadLittle(const std::string& bytes, std::size_t at) {
    std::uint32_t value = 0;
    for (int i = 3; i >= 0; --i)
        value = (value << 8) | static_cast<unsigned char>(bytes[at + std::size_t(i)]);
    return value;
}

void WriteLittle(std::string& bytes, std::size_t at, std::uint32_t value) {
    for (std::size_t i = 0; i < 4; ++i)
        bytes[at + i] = char((value >> (8 * i)) & 0xFF);
}

bool IsMetadata(const std::string& tag) {
    return tag == "ICCP" || tag == "EXIF" || tag == "XMP ";
}

} // namespace

std::string WithoutWebpMetadata(const std::string& webp) {
    if (webp.size() < kHeaderBytes || webp.compare(0, 4, "RIFF") != 0 ||
        webp.compare(8, 4, "WEBP") != 0)
        return webp;
    std::string kept = webp.substr(0, kHeaderBytes);
    std::size_t at = kHeaderBytes;
    while (at < webp.size()) {
        if (webp.size() - at < 8)
            return webp;
        const std::uint32_t size = ReadLittle(webp, at + 4);
        const std::size_t chunk = 8 + std::size_t(size) + (size & 1);
        if (chunk > webp.size() - at)
            return webp;
        if (!IsMetadata(webp.substr(at, 4)))
            kept.append(webp, at, chunk);
        at += chunk;
    }
    if (kept.size() > kFlagsAt && kept.compare(kHeaderBytes, 4, "VP8X") == 0) {
        const unsigned char flags = static_cast<unsigned char>(kept[kFlagsAt]) & ~kMetadataFlags;
        kept[kFlagsAt] = char(flags);
        // Without alpha or animation the extended header says nothing.
        if (flags == 0)
            kept.erase(kHeaderBytes, 8 + ReadLittle(kept, kHeaderBytes + 4));
    }
    WriteLittle(kept, 4, std::uint32_t(kept.size() - 8));
    return kept;
}

} // namespace zel::service
