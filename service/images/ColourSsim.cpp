#include "ColourSsim.h"

#include "OverWhite.h"
#include "Ssim.h"
#include "VipsImageRef.h"

#include <algorithm>
#include <stdexcept>
#include <vector>

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

// Y, Cb and Cr of 8-bit sRGB pixels in one pass, where libvips' matrix,
// offset and band steps took several passes over copies in floats.
ColourPlanes PlanesOf(VipsImage* rgb) {
    std::size_t size = 0;
    VipsPel* pixels = static_cast<VipsPel*>(vips_image_write_to_memory(rgb, &size));
    if (!pixels) {
        vips_error_clear();
        throw std::runtime_error("colour planes: cannot read pixels");
    }
    const std::size_t count = size / 3;
    std::vector<float> planes[3];
    for (std::vector<float>& plane : planes)
        plane.resize(count);
    for (std::size_t i = 0; i < count; ++i) {
        const VipsPel* pixel = pixels + 3 * i;
        for (int band = 0; band < 3; ++band)
            planes[band][i] = float(kYcc[3 * band] * pixel[0] + kYcc[3 * band + 1] * pixel[1] +
                                    kYcc[3 * band + 2] * pixel[2] + kYccOffset[band]);
    }
    g_free(pixels);
    const int width = vips_image_get_width(rgb), height = vips_image_get_height(rgb);
    return {LumaPlane(width, height, std::move(planes[0])),
            LumaPlane(width, height, std::move(planes[1])),
            LumaPlane(width, height, std::move(planes[2]))};
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
    const VipsImageRef bytes = Must(std::move(rgb), "no bytes", [](VipsImage* in, VipsImage** out) {
        return vips_cast_uchar(in, out, nullptr);
    });
    if (vips_image_get_bands(bytes.get()) != 3)
        throw std::runtime_error("colour planes: not three bands");
    return PlanesOf(bytes.get());
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

double ColourSsimUpTo(const ColourPlanes& a, const ColourPlanes& b, double bar) {
    const double luma = Ssim(a.luma, b.luma).mean;
    return luma < bar ? luma : std::min(luma, MeanOfPlanes(a, b, luma));
}

} // namespace zel::service
