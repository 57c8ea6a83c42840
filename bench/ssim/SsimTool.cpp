// Compares two pictures (e.g. screenshots of a page) on luminance:
//   zel_ssim <first> <second> [band height, default 600]
// prints "<mean SSIM> <worst band's SSIM>"; the second is scaled to the
// first's size when they differ.

#include "Ssim.h"

#include <cstdio>
#include <exception>
#include <string>

int main(int argc, char** argv) {
    if (argc < 3) {
        std::fprintf(stderr, "usage: zel_ssim <first> <second> [band height]\n");
        return 2;
    }
    if (VIPS_INIT(argv[0]) != 0)
        return 1;
    try {
        using zel::service::LumaPlane;
        const LumaPlane first = LumaPlane::FromFile(argv[1]);
        const LumaPlane second =
            LumaPlane::FromFile(argv[2]).ScaledTo(first.Width(), first.Height());
        const auto score = zel::service::Ssim(first, second, argc > 3 ? std::stoi(argv[3]) : 600);
        std::printf("%.4f %.4f\n", score.mean, score.worstBand);
    } catch (const std::exception& failure) {
        std::fprintf(stderr, "%s\n", failure.what());
        return 1;
    }
    return 0;
}
