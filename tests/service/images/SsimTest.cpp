// The row-by-row windowed SSIM against the textbook one: every pixel's
// Gaussian window summed in two dimensions, edges repeating the border.

#include "Ssim.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <random>

namespace zel::service {
namespace {

// Stripes across and down under noise: every row and column differs.
LumaPlane Noise(int width, int height, unsigned seed, double spread) {
    std::mt19937 random(seed);
    std::uniform_real_distribution<double> value(-spread, spread);
    std::vector<float> values;
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x)
            values.push_back(float(
                std::clamp(128 + 50 * std::sin(x / 3.0) + 50 * std::cos(y * 1.7) + value(random),
                           0.0, 255.0)));
    return LumaPlane(width, height, std::move(values));
}

double TextbookSsim(const LumaPlane& a, const LumaPlane& b) {
    const double c1 = 6.5025, c2 = 58.5225;
    double total = 0;
    for (int y = 0; y < a.Height(); ++y)
        for (int x = 0; x < a.Width(); ++x) {
            double weights = 0, ux = 0, uy = 0, xx = 0, yy = 0, xy = 0;
            for (int j = -5; j <= 5; ++j)
                for (int i = -5; i <= 5; ++i) {
                    const double w = std::exp(-(i * i + j * j) / 4.5);
                    const int col = std::clamp(x + i, 0, a.Width() - 1);
                    const int row = std::clamp(y + j, 0, a.Height() - 1);
                    const double p = a.At(col, row), q = b.At(col, row);
                    weights += w, ux += w * p, uy += w * q, xx += w * p * p, yy += w * q * q,
                        xy += w * p * q;
                }
            ux /= weights, uy /= weights;
            const double vx = xx / weights - ux * ux, vy = yy / weights - uy * uy,
                         cov = xy / weights - ux * uy;
            total +=
                (2 * ux * uy + c1) * (2 * cov + c2) / ((ux * ux + uy * uy + c1) * (vx + vy + c2));
        }
    return total / (double(a.Width()) * a.Height());
}

TEST(SsimTest, MatchesTheTextbookWindowAtEverySize) {
    const struct {
        int width, height;
        double noise;
    } cases[] = {{1, 1, 20}, {3, 2, 20}, {12, 40, 30}, {41, 13, 8}, {64, 64, 40}};
    for (const auto& c : cases) {
        const LumaPlane a = Noise(c.width, c.height, 1, c.noise);
        const LumaPlane b = Noise(c.width, c.height, 2, c.noise);
        EXPECT_NEAR(Ssim(a, b).mean, TextbookSsim(a, b), 5e-4) << c.width << "x" << c.height;
        EXPECT_NEAR(Ssim(a, a).mean, 1.0, 1e-6);
    }
}

TEST(SsimTest, WorstBandIsTheRowsThatDiffer) {
    const LumaPlane a = Noise(30, 60, 1, 10);
    std::vector<float> changed(30 * 60);
    for (int y = 0; y < 60; ++y)
        for (int x = 0; x < 30; ++x)
            changed[std::size_t(y) * 30 + x] =
                a.At(x, y) + (y >= 40 ? float((x * 37 % 11) * 9) : 0);
    const SsimScore score = Ssim(a, LumaPlane(30, 60, std::move(changed)), 20);
    const double lastBand = score.worstBand;
    EXPECT_LT(lastBand, 0.9);
    EXPECT_NEAR(score.mean, (2.0 + lastBand) / 3, 0.02); // the first two bands about unchanged
}

} // namespace
} // namespace zel::service
