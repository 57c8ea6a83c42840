#include "LumaPlane.h"

#include "OverWhite.h"

#include <stdexcept>

namespace zel::service {
namespace {

std::runtime_error VipsFailure(const std::string& what) {
    const std::string detail = vips_error_buffer();
    vips_error_clear();
    return std::runtime_error(what + ": " + detail);
}

VipsImageRef Checked(VipsImage* image, const std::string& what) {
    if (!image)
        throw VipsFailure(what);
    return VipsImageRef(image);
}

} // namespace

LumaPlane::LumaPlane(int width, int height, std::vector<float> values)
    : width_(width), height_(height), values_(std::move(values)) {
    if (values_.size() != std::size_t(width) * std::size_t(height))
        throw std::invalid_argument("plane of the wrong size");
}

LumaPlane LumaPlane::FromBuffer(const std::string& bytes) {
    const VipsImageRef image = Checked(
        vips_image_new_from_buffer(bytes.data(), bytes.size(), "", nullptr), "cannot decode");
    return FromImage(image.get());
}

LumaPlane LumaPlane::FromFile(const std::string& path) {
    const VipsImageRef image = Checked(vips_image_new_from_file(path.c_str(), nullptr), path);
    return FromImage(image.get());
}

LumaPlane LumaPlane::FromImage(VipsImage* image) {
    VipsImage* step = nullptr;
    if (vips_colourspace(image, &step, VIPS_INTERPRETATION_sRGB, nullptr) != 0)
        throw VipsFailure("no sRGB");
    const VipsImageRef rgb = OverWhite(VipsImageRef(step).get());
    if (vips_colourspace(rgb.get(), &step, VIPS_INTERPRETATION_B_W, nullptr) != 0)
        throw VipsFailure("no luminance");
    const VipsImageRef gray(step);
    if (vips_extract_band(gray.get(), &step, 0, nullptr) != 0)
        throw VipsFailure("no band");
    const VipsImageRef band(step);
    if (vips_cast(band.get(), &step, VIPS_FORMAT_FLOAT, nullptr) != 0)
        throw VipsFailure("no float");
    const VipsImageRef floats(step);
    return FromFloats(floats.get());
}

LumaPlane LumaPlane::ScaledTo(int width, int height) const {
    if (width == width_ && height == height_)
        return *this;
    const VipsImageRef source =
        Checked(vips_image_new_from_memory(values_.data(), values_.size() * sizeof(float), width_,
                                           height_, 1, VIPS_FORMAT_FLOAT),
                "no image of the plane");
    VipsImage* step = nullptr;
    if (vips_resize(source.get(), &step, double(width) / width_, "vscale", double(height) / height_,
                    nullptr) != 0)
        throw VipsFailure("cannot resize");
    VipsImageRef resized(step);
    // Rounding may leave a pixel more or less: cut or pad to the exact size.
    if (vips_gravity(resized.get(), &step, VIPS_COMPASS_DIRECTION_NORTH_WEST, width, height,
                     "extend", VIPS_EXTEND_COPY, nullptr) != 0)
        throw VipsFailure("cannot fit");
    resized.reset(step);
    return FromFloats(resized.get());
}

LumaPlane LumaPlane::FromFloats(VipsImage* floats) {
    std::size_t size = 0;
    void* memory = vips_image_write_to_memory(floats, &size);
    if (!memory)
        throw VipsFailure("cannot read pixels");
    LumaPlane plane;
    plane.width_ = vips_image_get_width(floats);
    plane.height_ = vips_image_get_height(floats);
    const float* first = static_cast<const float*>(memory);
    plane.values_.assign(first, first + size / sizeof(float));
    g_free(memory);
    return plane;
}

} // namespace zel::service
