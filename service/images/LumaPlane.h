#pragma once
// The luminance of a picture (0..255 per pixel), as SSIM compares it, with
// alpha laid over white.

#include <string>
#include <vector>

#include <vips/vips.h>

namespace zel::service {

class LumaPlane {
public:
    // Failures (undecodable bytes, unreadable file) throw std::runtime_error.
    static LumaPlane FromBuffer(const std::string& bytes);
    static LumaPlane FromFile(const std::string& path);
    static LumaPlane FromImage(VipsImage* image);

    // One band of floats (0..255), the plane's pixels.
    static LumaPlane FromFloats(VipsImage* floats);

    // `values`: `width` x `height` pixels, row by row.
    LumaPlane(int width, int height, std::vector<float> values);
    LumaPlane() = default;

    // The same picture resampled to exactly `width` x `height`.
    LumaPlane ScaledTo(int width, int height) const;

    int Width() const { return width_; }
    int Height() const { return height_; }
    float At(int x, int y) const { return values_[std::size_t(y) * width_ + x]; }

private:
    int width_ = 0;
    int height_ = 0;
    std::vector<float> values_;
};

} // namespace zel::service
