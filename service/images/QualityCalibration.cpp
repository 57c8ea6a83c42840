#include "QualityCalibration.h"

#include <algorithm>

namespace zel::service {
namespace {

// Made by "bash bench/calibrate/run.sh" (zel_calibrate): the quality
// at which WebP and AVIF reach the mean SSIM of JPEG at each quality 1..100,
// over a fixed sample of the savings corpus's photos and screenshots.
// The mean SSIM (luminance) over 20 pictures at each grid quality:
//  jpeg 0.737 0.808 0.870 0.898 0.915 0.928 0.936
//      0.943 0.949 0.952 0.956 0.959 0.963 0.966
//      0.970 0.974 0.978 0.984 0.990 0.995 0.999
//  webp 0.896 0.919 0.933 0.943 0.950 0.956 0.960
//      0.964 0.968 0.971 0.973 0.975 0.977 0.978
//      0.980 0.981 0.985 0.989 0.992 0.994 0.996
//  avif 0.827 0.873 0.899 0.917 0.935 0.945 0.955
//      0.963 0.970 0.976 0.980 0.985 0.988 0.990
//      0.991 0.992 0.993 0.994 0.997 0.998 0.999

constexpr unsigned char kWebp[100] = {
    1,  1,  1,  1,  1,  1,  1,  1,  1,  1,  1,  1,  1,  1,  2,  2,   3,   3,   4,   4,
    5,  5,  6,  7,  8,  9,  10, 10, 11, 12, 13, 13, 14, 14, 15, 16,  17,  17,  18,  19,
    20, 20, 21, 21, 22, 23, 23, 24, 24, 25, 26, 27, 27, 28, 29, 30,  30,  31,  32,  33,
    34, 35, 36, 37, 38, 39, 40, 41, 43, 45, 46, 48, 49, 51, 53, 55,  57,  60,  63,  66,
    69, 72, 76, 77, 78, 80, 82, 83, 85, 87, 89, 90, 92, 94, 97, 100, 100, 100, 100, 100,
};

constexpr unsigned char kAvif[100] = {
    1,  1,  1,  1,  1,  1,  2,  3,  4,  5,  6,  7,  8,  9,  10, 11, 12, 13, 14, 15,
    15, 16, 17, 17, 18, 19, 19, 20, 20, 21, 22, 22, 23, 23, 24, 25, 25, 26, 26, 27,
    27, 28, 28, 28, 29, 29, 30, 30, 30, 31, 31, 31, 32, 32, 33, 33, 34, 34, 35, 35,
    36, 36, 37, 37, 37, 38, 39, 39, 40, 41, 41, 42, 42, 43, 43, 44, 45, 46, 47, 48,
    49, 50, 51, 52, 54, 55, 57, 59, 63, 67, 72, 76, 80, 83, 86, 87, 89, 90, 95, 98,
};

} // namespace

int CalibratedQuality(LossyEncoder encoder, int jpegQuality) {
    const int q = std::clamp(jpegQuality, 1, 100);
    switch (encoder) {
    case LossyEncoder::Webp:
        return kWebp[q - 1];
    case LossyEncoder::Avif:
        return kAvif[q - 1];
    case LossyEncoder::Jpeg:
        break;
    }
    return q;
}

} // namespace zel::service
