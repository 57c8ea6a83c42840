#include "Ssim.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <stdexcept>
#include <vector>

namespace zel::service {
namespace {

constexpr int kRadius = 5;
constexpr int kTaps = 2 * kRadius + 1;
constexpr double kSigma = 1.5;
constexpr double kC1 = (0.01 * 255) * (0.01 * 255);
constexpr double kC2 = (0.03 * 255) * (0.03 * 255);

std::array<float, kTaps> GaussianTaps() {
    std::array<double, kTaps> exact{};
    double sum = 0;
    for (int i = -kRadius; i <= kRadius; ++i)
        sum += exact[i + kRadius] = std::exp(-(i * i) / (2 * kSigma * kSigma));
    std::array<float, kTaps> taps{};
    for (int i = 0; i < kTaps; ++i)
        taps[i] = float(exact[i] / sum);
    return taps;
}

// The five quantities SSIM blurs: both planes, their squares and product.
enum Quantity { kX, kY, kXX, kYY, kXY, kQuantities };

// The planes blurred with the window (edges repeat the border pixel), a row
// at a time: only the window's rows, blurred across, are kept, so the work
// stays in the cache and no plane-sized buffer is allocated. Floats halve
// the memory streamed; their window sums of squares up to 255^2 stay within
// a few parts in a million, so a variance errs by less than a thousandth of
// kC2.
class WindowRows {
public:
    WindowRows(const LumaPlane& a, const LumaPlane& b)
        : a_(a), b_(b), width_(a.Width()), height_(a.Height()),
          padded_(std::size_t(kQuantities) * (width_ + 2 * kRadius)),
          across_(std::size_t(kQuantities) * kTaps * width_),
          down_(std::size_t(kQuantities) * width_) {}

    // The blurred quantity `q` of row `y`, after Blur(y).
    const float* Down(int q) const { return &down_[std::size_t(q) * width_]; }

    // Rows are blurred in order, each once: across, then the window down.
    void Blur(int y) {
        for (; acrossRows_ <= std::min(y + kRadius, height_ - 1); ++acrossRows_)
            BlurAcross(acrossRows_);
        static const auto taps = GaussianTaps();
        for (int q = 0; q < kQuantities; ++q) {
            float* out = &down_[std::size_t(q) * width_];
            std::fill(out, out + width_, 0.0f);
            for (int i = -kRadius; i <= kRadius; ++i) {
                const float tap = taps[i + kRadius];
                const float* row = Across(q, std::clamp(y + i, 0, height_ - 1));
                for (int x = 0; x < width_; ++x)
                    out[x] += tap * row[x];
            }
        }
    }

private:
    float* Across(int q, int y) {
        return &across_[(std::size_t(q) * kTaps + std::size_t(y % kTaps)) * width_];
    }

    void BlurAcross(int y) {
        static const auto taps = GaussianTaps();
        const std::size_t stride = padded_.size() / kQuantities;
        for (int x = -kRadius; x < width_ + kRadius; ++x) {
            const int col = std::clamp(x, 0, width_ - 1);
            const double p = a_.At(col, y), r = b_.At(col, y);
            float* at = &padded_[std::size_t(x + kRadius)];
            at[kX * stride] = float(p);
            at[kY * stride] = float(r);
            at[kXX * stride] = float(p * p);
            at[kYY * stride] = float(r * r);
            at[kXY * stride] = float(p * r);
        }
        for (int q = 0; q < kQuantities; ++q) {
            float* out = Across(q, y);
            std::fill(out, out + width_, 0.0f);
            for (int i = 0; i < kTaps; ++i) {
                const float tap = taps[i];
                const float* in = &padded_[q * stride + std::size_t(i)];
                for (int x = 0; x < width_; ++x)
                    out[x] += tap * in[x];
            }
        }
    }

    const LumaPlane& a_;
    const LumaPlane& b_;
    int width_;
    int height_;
    int acrossRows_ = 0;        // rows blurred across so far
    std::vector<float> padded_; // one row of each quantity, its edges repeated
    std::vector<float> across_; // the last kTaps rows of each quantity
    std::vector<float> down_;   // one row of each quantity
};

} // namespace

SsimScore Ssim(const LumaPlane& a, const LumaPlane& b, int bandHeight) {
    if (a.Width() != b.Width() || a.Height() != b.Height())
        throw std::invalid_argument("SSIM of planes of different sizes");
    const int width = a.Width(), height = a.Height();
    if (width == 0 || height == 0)
        throw std::invalid_argument("SSIM of an empty plane");
    WindowRows window(a, b);
    SsimScore score;
    score.worstBand = 1;
    double total = 0, band = 0;
    int bandRows = 0;
    for (int row = 0; row < height; ++row) {
        window.Blur(row);
        const float *mx = window.Down(kX), *my = window.Down(kY), *mxx = window.Down(kXX),
                    *myy = window.Down(kYY), *mxy = window.Down(kXY);
        for (int col = 0; col < width; ++col) {
            const double ux = mx[col], uy = my[col];
            const double vx = mxx[col] - ux * ux, vy = myy[col] - uy * uy;
            const double cov = mxy[col] - ux * uy;
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
