// The row-by-row windowed SSIM against the textbook one: each pixel's
// Gaussian window summed in two dimensions, edges repeating the border.

#include "Ssim.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <random>

namespace zel::service {
namespace {

// Stripes across and down under noise: every row and column differs.
LumaPlane Stripes(int width, int height, unsigned seed) {
    std::mt19937 random(seed);
    std::uniform_real_distribution<double> noise(-20, 20);
    std::vector<float> values;
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x)
            values.push_back(float(
                std::clamp(128 + 50 * std::sin(x / 3.0) + 50 * std::cos(y * 1.7) + noise(random),
                           0.0, 255.0)));
    return LumaPlane(width, height, std::move(values));
}

double TextbookSsim(const LumaPlane& a, const LumaPlane& b) {
    double total = 0;
    for (int y = 0; y < a.Height(); ++y)
        for (int x = 0; x < a.Width(); ++x) {
            double m[6] = {}; // weights, x, y, xx, yy, xy
            for (int j = -5; j <= 5; ++j)
                for (int i = -5; i <= 5; ++i) {
                    const double w = std::exp(-(i * i + j * j) / 4.5);
                    const double p = a.At(std::clamp(x + i, 0, a.Width() - 1),
                                          std::clamp(y + j, 0, a.Height() - 1));
                    const double q = b.At(std::clamp(x + i, 0, a.Width() - 1),
                                          std::clamp(y + j, 0, a.Height() - 1));
                    const double terms[6] = {1.0, p, q, p * p, q * q, p * q};
                    for (int k = 0; k < 6; ++k)
                        m[k] += w * terms[k];
                }
            const double ux = m[1] / m[0], uy = m[2] / m[0];
            const double vx = m[3] / m[0] - ux * ux, vy = m[4] / m[0] - uy * uy;
            total += (2 * ux * uy + 6.5025) * (2 * (m[5] / m[0] - ux * uy) + 58.5225) /
                     ((ux * ux + uy * uy + 6.5025) * (vx + vy + 58.5225));
        }
    return total / (double(a.Width()) * a.Height());
}

TEST(SsimTest, MatchesTheTextbookWindowAtEverySize) {
    for (const auto& [width, height] : {std::pair{1, 1}, {3, 2}, {12, 40}, {41, 13}, {64, 64}}) {
        const LumaPlane a = Stripes(width, height, 1), b = Stripes(width, height, 2);
        EXPECT_NEAR(Ssim(a, b).mean, TextbookSsim(a, b), 5e-4) << width << "x" << height;
        EXPECT_NEAR(Ssim(a, a).mean, 1.0, 1e-6);
    }
}

} // namespace
} // namespace zel::service
