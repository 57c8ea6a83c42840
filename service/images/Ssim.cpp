#include "Ssim.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <stdexcept>
#include <vector>

namespace zel::service {
namespace {

constexpr int kRadius = 5;
constexpr double kSigma = 1.5;
constexpr double kC1 = (0.01 * 255) * (0.01 * 255);
constexpr double kC2 = (0.03 * 255) * (0.03 * 255);

std::array<float, 2 * kRadius + 1> GaussianTaps() {
    std::array<double, 2 * kRadius + 1> exact{};
    double sum = 0;
    for (int i = -kRadius; i <= kRadius; ++i)
        sum += exact[i + kRadius] = std::exp(-(i * i) / (2 * kSigma * kSigma));
    std::array<float, 2 * kRadius + 1> taps{};
    for (int i = 0; i <= 2 * kRadius; ++i)
        taps[i] = float(exact[i] / sum);
    return taps;
}

// A plane of floats, blurred with the window; edges repeat the border pixel.
// Floats halve the memory the blur streams through; their window sums of
// squares up to 255^2 stay within a few parts in a million, so a variance
// errs by less than a thousandth of kC2.
class Field {
public:
    Field(int width, int height)
        : width_(width), height_(height), v_(std::size_t(width) * height) {}
    float& operator()(int x, int y) { return v_[std::size_t(y) * width_ + x]; }
    double operator()(int x, int y) const { return v_[std::size_t(y) * width_ + x]; }

    // Across each row, then down whole rows at once: the inner loops run
    // over neighbouring memory.
    Field Blurred() const {
        static const auto taps = GaussianTaps();
        Field across(width_, height_), down(width_, height_);
        for (int y = 0; y < height_; ++y) {
            const float* row = &v_[std::size_t(y) * width_];
            float* out = &across.v_[std::size_t(y) * width_];
            for (int x = 0; x < width_; ++x) {
                float sum = 0;
                if (x >= kRadius && x + kRadius < width_) {
                    for (int i = 0; i <= 2 * kRadius; ++i)
                        sum += taps[i] * row[x - kRadius + i];
                } else {
                    for (int i = -kRadius; i <= kRadius; ++i)
                        sum += taps[i + kRadius] * row[std::clamp(x + i, 0, width_ - 1)];
                }
                out[x] = sum;
            }
        }
        for (int y = 0; y < height_; ++y) {
            float* out = &down.v_[std::size_t(y) * width_];
            for (int i = -kRadius; i <= kRadius; ++i) {
                const float tap = taps[i + kRadius];
                const float* row =
                    &across.v_[std::size_t(std::clamp(y + i, 0, height_ - 1)) * width_];
                for (int x = 0; x < width_; ++x)
                    out[x] += tap * row[x];
            }
        }
        return down;
    }

private:
    int width_;
    int height_;
    std::vector<float> v_;
};

} // namespace

SsimScore Ssim(const LumaPlane& a, const LumaPlane& b, int bandHeight) {
    if (a.Width() != b.Width() || a.Height() != b.Height())
        throw std::invalid_argument("SSIM of planes of different sizes");
    const int width = a.Width(), height = a.Height();
    if (width == 0 || height == 0)
        throw std::invalid_argument("SSIM of an empty plane");
    Field x(width, height), y(width, height), xx(width, height), yy(width, height),
        xy(width, height);
    for (int row = 0; row < height; ++row)
        for (int col = 0; col < width; ++col) {
            const double p = a.At(col, row), q = b.At(col, row);
            x(col, row) = p;
            y(col, row) = q;
            xx(col, row) = p * p;
            yy(col, row) = q * q;
            xy(col, row) = p * q;
        }
    const Field mx = x.Blurred(), my = y.Blurred(), mxx = xx.Blurred(), myy = yy.Blurred(),
                mxy = xy.Blurred();
    SsimScore score;
    score.worstBand = 1;
    double total = 0, band = 0;
    int bandRows = 0;
    for (int row = 0; row < height; ++row) {
        for (int col = 0; col < width; ++col) {
            const double ux = mx(col, row), uy = my(col, row);
            const double vx = mxx(col, row) - ux * ux, vy = myy(col, row) - uy * uy;
            const double cov = mxy(col, row) - ux * uy;
            const double s = ((2 * ux * uy + kC1) * (2 * cov + kC2)) /
                             ((ux * ux + uy * uy + kC1) * (vx + vy + kC2));
            total += s;
            band += s;
        }
        if (++bandRows == bandHeight || row == height - 1) {
            score.worstBand = std::min(score.worstBand, band / (double(bandRows) * width));
            band = 0;
            bandRows = 0;
        }
    }
    score.mean = total / (double(width) * height);
    return score;
}

} // namespace zel::service
