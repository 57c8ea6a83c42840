#include "JpegRepack.h"

#include <turbojpeg.h>

#include <cstdint>
#include <memory>
#include <string_view>

namespace zel::service {
namespace {

constexpr std::string_view kIccName{"ICC_PROFILE\0", 12};
constexpr std::string_view kExifName{"Exif\0\0", 6};
constexpr unsigned char kApp0 = 0xE0, kApp1 = 0xE1, kApp2 = 0xE2, kStartOfScan = 0xDA;
constexpr std::uint16_t kOrientationTag = 0x0112;

unsigned Byte(std::string_view bytes, std::size_t at) {
    return static_cast<unsigned char>(bytes[at]);
}

// What stays of the original's markers.
struct KeptMarkers {
    std::string profile; // the APP2 segments of the colour profile, whole
    int orientation = 1;
};

// The orientation in an EXIF segment's TIFF structure; 1 when there is none.
int OrientationOf(std::string_view tiff) {
    if (tiff.size() < 8 || (tiff.substr(0, 2) != "II" && tiff.substr(0, 2) != "MM"))
        return 1;
    const bool big = tiff[0] == 'M';
    const auto read = [&](std::size_t at, int size) {
        std::uint32_t value = 0;
        for (int i = 0; i < size; ++i)
            value |= Byte(tiff, at + i) << (8 * (big ? size - 1 - i : i));
        return value;
    };
    const std::uint32_t ifd = read(4, 4);
    if (ifd > tiff.size() - 2)
        return 1;
    const std::uint32_t entries = read(ifd, 2);
    for (std::uint32_t i = 0; i < entries; ++i) {
        const std::size_t entry = ifd + 2 + std::size_t(i) * 12;
        if (entry + 12 > tiff.size())
            return 1;
        if (read(entry, 2) == kOrientationTag && read(entry + 2, 2) == 3) {
            const std::uint32_t value = read(entry + 8, 2);
            return value >= 1 && value <= 8 ? int(value) : 1;
        }
    }
    return 1;
}

// The markers before the first scan.
KeptMarkers ReadMarkers(std::string_view jpeg) {
    KeptMarkers kept;
    std::size_t at = 2;
    while (at + 4 <= jpeg.size() && Byte(jpeg, at) == 0xFF) {
        const unsigned marker = Byte(jpeg, at + 1);
        if (marker == kStartOfScan || marker == 0xD9)
            break;
        const std::size_t length = Byte(jpeg, at + 2) << 8 | Byte(jpeg, at + 3);
        if (length < 2 || at + 2 + length > jpeg.size())
            break;
        const std::string_view body = jpeg.substr(at + 4, length - 2);
        if (marker == kApp2 && body.starts_with(kIccName))
            kept.profile += jpeg.substr(at, 2 + length);
        else if (marker == kApp1 && body.starts_with(kExifName) && kept.orientation == 1)
            kept.orientation = OrientationOf(body.substr(kExifName.size()));
        at += 2 + length;
    }
    return kept;
}

// An EXIF segment holding the orientation alone.
std::string OrientationSegment(int orientation) {
    std::string tiff{"MM\0\x2A\0\0\0\x08\0\x01\x01\x12\0\x03\0\0\0\x01", 18};
    tiff += {'\0', char(orientation), '\0', '\0', '\0', '\0', '\0', '\0'};
    const std::string body = std::string(kExifName) + tiff;
    const std::size_t length = body.size() + 2;
    return std::string{char(0xFF), char(kApp1), char(length >> 8), char(length & 0xFF)} + body;
}

struct TjFree {
    void operator()(void* handle) const { tjDestroy(handle); }
};

} // namespace

std::optional<std::string> RepackJpeg(const std::string& jpeg) {
    const std::unique_ptr<void, TjFree> handle(tjInitTransform());
    if (!handle || jpeg.size() < 4)
        return std::nullopt;
    const auto* data = reinterpret_cast<const unsigned char*>(jpeg.data());
    int width = 0, height = 0, subsampling = 0, colourspace = 0;
    if (tjDecompressHeader3(handle.get(), data, jpeg.size(), &width, &height, &subsampling,
                            &colourspace) != 0 ||
        (colourspace != TJCS_YCbCr && colourspace != TJCS_GRAY))
        return std::nullopt;
    tjtransform transform{};
    transform.op = TJXOP_NONE;
    transform.options = TJXOPT_PROGRESSIVE | TJXOPT_COPYNONE;
    unsigned char* out = nullptr;
    unsigned long outSize = 0;
    // Damaged data gives a warning, and a failure here: the original goes.
    const int failed = tjTransform(handle.get(), data, jpeg.size(), 1, &out, &outSize, &transform,
                                   TJFLAG_LIMITSCANS | TJFLAG_STOPONWARNING);
    const std::unique_ptr<unsigned char, void (*)(unsigned char*)> owned(out, tjFree);
    if (failed != 0 || out == nullptr || outSize < 4)
        return std::nullopt;
    const std::string_view packed(reinterpret_cast<const char*>(out), outSize);
    const KeptMarkers kept = ReadMarkers(jpeg);
    // After the JFIF segment, where readers look for EXIF.
    std::size_t insertAt = 2;
    if (Byte(packed, 2) == 0xFF && Byte(packed, 3) == kApp0 && packed.size() > 6)
        insertAt = 4 + (Byte(packed, 4) << 8 | Byte(packed, 5));
    if (insertAt > packed.size())
        return std::nullopt;
    std::string result(packed.substr(0, insertAt));
    if (kept.orientation != 1)
        result += OrientationSegment(kept.orientation);
    result += kept.profile;
    result += packed.substr(insertAt);
    return result;
}

} // namespace zel::service
