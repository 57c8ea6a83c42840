#include "ColourSsim.h"

#include "OverWhite.h"
#include "Ssim.h"
#include "VipsImageRef.h"

#include <algorithm>
#include <stdexcept>

namespace zel::service {
namespace {

// sRGB to Y, Cb, Cr (ITU-R BT.601, as JPEG defines them).
constexpr double kYcc[9] = {0.299, 0.587, 0.114,     -0.168736, -0.331264,
                            0.5,   0.5,   -0.418688, -0.081312};
constexpr double kYccOffset[3] = {0, 128, 128};

VipsImageRef Must(VipsImageRef in, const char* what, auto operation) {
    VipsImageRef out = Then(std::move(in), operation);
    if (!out)
        throw std::runtime_error(std::string("colour planes: ") + what);
    return out;
}

} // namespace

ColourPlanes ColourPlanes::FromImage(VipsImage* image, int factor) {
    VipsImageRef rgb = Must(Share(image), "no sRGB", [](VipsImage* in, VipsImage** out) {
        return vips_colourspace(in, out, VIPS_INTERPRETATION_sRGB, nullptr);
    });
    if (factor > 1)
        rgb = Must(std::move(rgb), "cannot shrink", [&](VipsImage* in, VipsImage** out) {
            return vips_shrink(in, out, double(factor), double(factor), nullptr);
        });
    rgb = OverWhite(rgb.get());
    VipsImageRef floats = Must(std::move(rgb), "no float", [](VipsImage* in, VipsImage** out) {
        return vips_cast(in, out, VIPS_FORMAT_FLOAT, nullptr);
    });
    VipsImage* matrix = vips_image_new_matrix_from_array(3, 3, kYcc, 9);
    const VipsImageRef owned(matrix);
    VipsImageRef ycc = Must(std::move(floats), "no YCbCr", [&](VipsImage* in, VipsImage** out) {
        return vips_recomb(in, out, matrix, nullptr);
    });
    ycc = Must(std::move(ycc), "no offset", [](VipsImage* in, VipsImage** out) {
        const double one[3] = {1, 1, 1};
        return vips_linear(in, out, one, kYccOffset, 3, nullptr);
    });
    ycc = Must(std::move(ycc), "not in memory", [](VipsImage* in, VipsImage** out) {
        return (*out = vips_image_copy_memory(in)) ? 0 : -1;
    });
    const auto band = [&](int index) {
        const VipsImageRef one =
            Must(Share(ycc.get()), "no band", [&](VipsImage* in, VipsImage** out) {
                return vips_extract_band(in, out, index, nullptr);
            });
        return LumaPlane::FromFloats(one.get());
    };
    return {band(0), band(1), band(2)};
}

ColourPlanes ColourPlanes::FromBuffer(const std::string& bytes, bool allPages, int factor) {
    VipsImage* image =
        vips_image_new_from_buffer(bytes.data(), bytes.size(), allPages ? "n=-1" : "", nullptr);
    if (!image) {
        vips_error_clear();
        throw std::runtime_error("colour planes: cannot decode");
    }
    const VipsImageRef owned(image);
    return FromImage(image, factor);
}

namespace {

double MeanOfPlanes(const ColourPlanes& a, const ColourPlanes& b, double luma) {
    return (luma + Ssim(a.blue, b.blue).mean + Ssim(a.red, b.red).mean) / 3;
}

} // namespace

double ColourSsim(const ColourPlanes& a, const ColourPlanes& b) {
    const double luma = Ssim(a.luma, b.luma).mean;
    return std::min(luma, MeanOfPlanes(a, b, luma));
}

bool ColourSsimAtLeast(const ColourPlanes& a, const ColourPlanes& b, double bar) {
    const double luma = Ssim(a.luma, b.luma).mean;
    return luma >= bar && MeanOfPlanes(a, b, luma) >= bar;
}

} // namespace zel::service
