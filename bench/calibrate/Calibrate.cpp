// Finds, for every JPEG quality 1..100, the WebP and AVIF quality whose mean
// SSIM over a corpus of pictures equals JPEG's, and prints the tables (C++)
// that QualityCalibration.cpp keeps (run.sh puts them in place):
//   zel_calibrate <picture>...
// Each picture is shrunk to at most kSide pixels (the service sends shown
// sizes, not full photos) and encoded at a grid of qualities; between grid
// points the curves are interpolated. Its last line (on stderr) is the bytes
// WebP and AVIF need at JPEG's quality, against JPEG's.

#include "LumaPlane.h"
#include "OverWhite.h"
#include "Ssim.h"
#include "VipsImageRef.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <exception>
#include <string>
#include <vector>

using zel::service::LumaPlane;
using zel::service::VipsImageRef;

namespace {

constexpr int kSide = 640;
constexpr int kGrid[] = {1,  5,  10, 15, 20, 25, 30, 35, 40, 45, 50,
                         55, 60, 65, 70, 75, 80, 85, 90, 95, 100};
constexpr int kGridSize = sizeof kGrid / sizeof kGrid[0];

enum class Format { Jpeg, Webp, Avif };
constexpr Format kFormats[] = {Format::Jpeg, Format::Webp, Format::Avif};

// Per format and grid quality: summed SSIM and bytes over the corpus.
struct Curve {
    double ssim[kGridSize] = {};
    double bytes[kGridSize] = {};
};

std::string Encode(VipsImage* image, Format format, int quality) {
    void* data = nullptr;
    std::size_t size = 0;
    int failed = -1;
    switch (format) {
    case Format::Jpeg:
        failed = vips_jpegsave_buffer(image, &data, &size, "Q", quality, nullptr);
        break;
    case Format::Webp:
        failed = vips_webpsave_buffer(image, &data, &size, "Q", quality, nullptr);
        break;
    case Format::Avif:
        failed = vips_heifsave_buffer(image, &data, &size, "Q", quality, "compression",
                                      VIPS_FOREIGN_HEIF_COMPRESSION_AV1, nullptr);
        break;
    }
    if (failed != 0) {
        const std::string detail = vips_error_buffer();
        vips_error_clear();
        throw std::runtime_error("cannot encode: " + detail);
    }
    std::string bytes(static_cast<const char*>(data), size);
    g_free(data);
    return bytes;
}

// The picture as the encoders get it: shrunk, 8-bit sRGB, alpha over white.
VipsImageRef Prepared(const std::string& path) {
    VipsImage* out = nullptr;
    if (vips_thumbnail(path.c_str(), &out, kSide, "size", VIPS_SIZE_DOWN, nullptr) != 0)
        throw std::runtime_error(path + ": " + vips_error_buffer());
    VipsImageRef image(out);
    image = zel::service::OverWhite(image.get());
    if (vips_colourspace(image.get(), &out, VIPS_INTERPRETATION_sRGB, nullptr) != 0 ||
        (image.reset(out), vips_cast(image.get(), &out, VIPS_FORMAT_UCHAR, nullptr) != 0))
        throw std::runtime_error(path + ": no 8-bit sRGB");
    image.reset(out);
    // Decoded once, encoded many times.
    VipsImageRef decoded(vips_image_copy_memory(image.get()));
    if (!decoded)
        throw std::runtime_error(path + ": cannot decode");
    return decoded;
}

// A grid curve's value at quality `q`, linear between grid points.
double At(const double (&values)[kGridSize], double q) {
    for (int i = 1; i < kGridSize; ++i)
        if (q <= kGrid[i]) {
            const double t = (q - kGrid[i - 1]) / (kGrid[i] - kGrid[i - 1]);
            return values[i - 1] + t * (values[i] - values[i - 1]);
        }
    return values[kGridSize - 1];
}

// The lowest quality (in steps of 0.1) at which `curve` reaches `target`.
double QualityFor(const Curve& curve, double target) {
    for (int tenth = 10; tenth <= 1000; ++tenth)
        if (At(curve.ssim, tenth / 10.0) >= target)
            return tenth / 10.0;
    return 100;
}

// Bytes `other` needs for JPEG's SSIM, against JPEG's bytes, over the grid.
double BytesAtEqualSsim(const Curve& jpeg, const Curve& other) {
    double jpegBytes = 0, otherBytes = 0;
    for (int g = 0; g < kGridSize; ++g) {
        jpegBytes += jpeg.bytes[g];
        otherBytes += At(other.bytes, QualityFor(other, jpeg.ssim[g]));
    }
    return otherBytes / jpegBytes;
}

void PrintTable(const char* name, const Curve& jpeg, const Curve& other) {
    std::printf("constexpr unsigned char k%s[100] = {\n   ", name);
    int last = 1;
    for (int q = 1; q <= 100; ++q) {
        last = std::clamp(std::max(last, int(std::lround(QualityFor(other, At(jpeg.ssim, q))))), 1,
                          100);
        std::printf(" %d,%s", last, q % 20 == 0 && q < 100 ? "\n   " : "");
    }
    std::printf("\n};\n\n");
}

} // namespace

int main(int argc, char** argv) {
    if (argc < 2) {
        std::fprintf(stderr, "usage: zel_calibrate <picture>...\n");
        return 2;
    }
    if (VIPS_INIT(argv[0]) != 0)
        return 1;
    Curve curves[3];
    int pictures = 0;
    for (int i = 1; i < argc; ++i) {
        try {
            const VipsImageRef image = Prepared(argv[i]);
            const LumaPlane original = LumaPlane::FromImage(image.get());
            for (const Format format : kFormats)
                for (int g = 0; g < kGridSize; ++g) {
                    const std::string bytes = Encode(image.get(), format, kGrid[g]);
                    curves[int(format)].ssim[g] +=
                        zel::service::Ssim(original, LumaPlane::FromBuffer(bytes)).mean;
                    curves[int(format)].bytes[g] += double(bytes.size());
                }
            ++pictures;
            std::fprintf(stderr, "%d/%d %s\n", i, argc - 1, argv[i]);
        } catch (const std::exception& failure) {
            std::fprintf(stderr, "skipped: %s\n", failure.what());
        }
    }
    if (pictures == 0)
        return 1;
    for (Curve& curve : curves)
        for (int g = 0; g < kGridSize; ++g)
            curve.ssim[g] /= pictures;
    std::printf("\n// Made by \"bash bench/calibrate/run.sh\" (zel_calibrate): the quality\n"
                "// at which WebP and AVIF reach the mean SSIM of JPEG at each quality 1..100,\n"
                "// over a fixed sample of the savings corpus's photos and screenshots.\n");
    std::printf("// The mean SSIM (luminance) over %d pictures at each grid quality:\n", pictures);
    for (const Format format : kFormats) {
        std::printf("//  %s", format == Format::Jpeg   ? "jpeg"
                              : format == Format::Webp ? "webp"
                                                       : "avif");
        for (int g = 0; g < kGridSize; ++g)
            std::printf(g > 0 && g % 7 == 0 ? "\n//      %.3f" : " %.3f",
                        curves[int(format)].ssim[g]);
        std::printf("\n");
    }
    std::printf("\n");
    PrintTable("Webp", curves[0], curves[1]);
    PrintTable("Avif", curves[0], curves[2]);
    std::fprintf(stderr, "bytes for JPEG's SSIM against JPEG's bytes: WebP %.2f, AVIF %.2f\n",
                 BytesAtEqualSsim(curves[0], curves[1]), BytesAtEqualSsim(curves[0], curves[2]));
    return 0;
}
