// Full quality: every picture goes out looking the same as it is shown,
// upright, in sRGB, animated where it was, never larger than it came.

#include "ColourSsim.h"
#include "ElementBox.h"
#include "ImageShrinker.h"
#include "JpegRepack.h"
#include "Ssim.h"
#include "TestImages.h"
#include "VipsImageRef.h"
#include "VisuallyLossless.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <random>
#include <stdexcept>

namespace zel::service::test {
namespace {

constexpr ImageSettings kFull{.quality = 100, .colors = 256};

VipsImageRef Checked(VipsImageRef image) {
    if (!image)
        throw std::runtime_error(vips_error_buffer());
    return image;
}

VipsImageRef Decoded(const std::string& bytes, const char* options = "") {
    return Checked(
        VipsImageRef(vips_image_new_from_buffer(bytes.data(), bytes.size(), options, nullptr)));
}

std::string Saved(VipsImage* image, const char* suffix) {
    void* buffer = nullptr;
    size_t length = 0;
    if (vips_image_write_to_buffer(image, suffix, &buffer, &length, nullptr) != 0)
        throw std::runtime_error(vips_error_buffer());
    std::string bytes(static_cast<char*>(buffer), length);
    g_free(buffer);
    return bytes;
}

// As a browser shows the bytes at `width`: turned upright, in sRGB.
VipsImageRef Shown(const std::string& bytes, int width) {
    VipsImage* out = nullptr;
    vips_thumbnail_buffer(const_cast<char*>(bytes.data()), bytes.size(), &out, width, "height",
                          VIPS_MAX_COORD, "size", VIPS_SIZE_DOWN, nullptr);
    VipsImageRef image = Checked(VipsImageRef(out));
    if (!vips_image_get_typeof(image.get(), VIPS_META_ICC_NAME))
        return image;
    return Checked(Then(std::move(image), [](VipsImage* in, VipsImage** converted) {
        return vips_icc_transform(in, converted, "srgb", "embedded", TRUE, nullptr);
    }));
}

double MeanDifference(VipsImage* a, VipsImage* b) {
    VipsImageRef difference = Checked(Then(Share(a), [&](VipsImage* in, VipsImage** out) {
        return vips_subtract(in, b, out, nullptr);
    }));
    difference = Checked(Then(std::move(difference), [](VipsImage* in, VipsImage** out) {
        return vips_abs(in, out, nullptr);
    }));
    double mean = 0;
    vips_avg(difference.get(), &mean, nullptr);
    return mean;
}

struct Picture {
    const char* name;
    std::string original;
    std::string truth; // lossless, upright, sRGB: how it must look
    ImageBox box;
    int width; // expected of what is sent
};

std::vector<Picture> Pictures() {
    InitVipsOnce();
    const std::string photo = MakePhoto(800, 600, ".jpg", 92);
    const VipsImageRef pixels = Decoded(photo);
    VipsImageRef turned = Checked(Then(Share(pixels.get()), [](VipsImage* in, VipsImage** out) {
        return vips_copy(in, out, nullptr);
    }));
    vips_image_set_int(turned.get(), VIPS_META_ORIENTATION, 6);
    const std::string rotated = Saved(turned.get(), ".jpg[Q=92]");
    const VipsImageRef upright = Checked(Then(Decoded(rotated), [](VipsImage* in, VipsImage** out) {
        return vips_autorot(in, out, nullptr);
    }));
    const VipsImageRef wide = Checked(Then(Share(pixels.get()), [](VipsImage* in, VipsImage** out) {
        return vips_icc_transform(in, out, "p3", "input_profile", "srgb", nullptr);
    }));
    const std::string wideJpeg = Saved(wide.get(), ".jpg[Q=95]");
    const VipsImageRef wideInSrgb =
        Checked(Then(Decoded(wideJpeg), [](VipsImage* in, VipsImage** out) {
            return vips_icc_transform(in, out, "srgb", "embedded", TRUE, nullptr);
        }));
    // libvips reads the bytes where they are: they must outlive the image.
    const std::string still = MakePhoto(64, 144, ".png");
    VipsImageRef strip = Checked(Then(Decoded(still), [](VipsImage* in, VipsImage** out) {
        return vips_copy(in, out, nullptr);
    }));
    vips_image_set_int(strip.get(), VIPS_META_PAGE_HEIGHT, 48);
    const std::string frames = Saved(strip.get(), ".gif");
    const std::string soft = MakeSoftEdged(300, 300);
    const std::string icon = MakeDrawing(16, 16, ".png");
    return {{"photo", photo, Saved(pixels.get(), ".png"), {200, 0}, 400},
            {"rotated", rotated, Saved(upright.get(), ".png"), {100, 0}, 200},
            {"rotated, no box", rotated, Saved(upright.get(), ".png"), {}, 600},
            {"wide gamut", wideJpeg, Saved(wideInSrgb.get(), ".png"), {200, 0}, 400},
            {"animated", frames, frames, {16, 0}, 64},
            {"transparent", soft, soft, {0, 100}, 200},
            {"icon", icon, icon, {16, 16}, 16}};
}

TEST(FullQualityTest, PicturesLookTheSameUprightInSrgbAndNeverLarger) {
    for (const Picture& picture : Pictures()) {
        SCOPED_TRACE(picture.name);
        const ShrunkImage sent = ShrinkImage(picture.original, kFull, picture.box, 40'000'000);
        EXPECT_LE(sent.bytes.size(), picture.original.size());
        const int pages = vips_image_get_n_pages(Decoded(picture.original).get());
        if (pages > 1) {
            const VipsImageRef frames = Decoded(sent.bytes, "n=-1");
            EXPECT_EQ(vips_image_get_n_pages(frames.get()), pages);
            EXPECT_GE(ColourSsim(ColourPlanes::FromBuffer(picture.truth, true),
                                 ColourPlanes::FromImage(frames.get())),
                      kSameLook);
            continue;
        }
        const VipsImageRef shown = Shown(sent.bytes, 100000);
        EXPECT_EQ(vips_image_get_width(shown.get()), picture.width);
        const VipsImageRef truth = Shown(picture.truth, vips_image_get_width(shown.get()));
        // At the size it is sent at: a screen of double density shows every pixel.
        EXPECT_GE(
            ColourSsim(ColourPlanes::FromImage(truth.get()), ColourPlanes::FromImage(shown.get())),
            kSameLook);
        EXPECT_LT(MeanDifference(truth.get(), shown.get()), 4.0);
    }
}

// The judge's shortcut decides as the whole score does: on the luminance,
// and on colour alone when the luminance is untouched.
TEST(FullQualityTest, ColourBarDecidesAsTheColourScore) {
    InitVipsOnce();
    const std::string photo = MakePhoto(160, 120, ".png");
    const VipsImageRef pixels = Decoded(photo);
    const auto redder = [&](double red) {
        const double scale[3] = {1, 1, 1}, offset[3] = {red, 0, -red};
        return Checked(Then(Share(pixels.get()), [&](VipsImage* in, VipsImage** out) {
            return vips_linear(in, out, scale, offset, 3, nullptr);
        }));
    };
    const ColourPlanes truth = ColourPlanes::FromImage(pixels.get());
    for (const std::string& bytes :
         {photo, MakePhoto(160, 120, ".jpg", 20), Saved(redder(12).get(), ".png"),
          Saved(redder(40).get(), ".png")}) {
        const ColourPlanes other = ColourPlanes::FromBuffer(bytes, false);
        for (double bar : {0.5, 0.9, 0.99, 0.999}) {
            const double score = ColourSsim(truth, other), upTo = ColourSsimUpTo(truth, other, bar);
            EXPECT_EQ(upTo >= bar, score >= bar) << bar;
            EXPECT_GE(upTo, score - 1e-12) << bar; // never below the score it stands for
        }
    }
    // A large picture is judged at a fraction of its size, as if shrunk first.
    const VipsImageRef half = Checked(Then(Share(pixels.get()), [](VipsImage* in, VipsImage** out) {
        return vips_shrink(in, out, 2.0, 2.0, nullptr);
    }));
    EXPECT_GT(
        ColourSsim(ColourPlanes::FromImage(pixels.get(), 2), ColourPlanes::FromImage(half.get())),
        0.999);
}

// A palette passes unjudged only where nothing is lost or the colours were
// asked for: with room to spare for every colour of the picture, or below
// 256 colours. A full palette is judged like any lossy candidate.
TEST(FullQualityTest, OnlyPalettesThatLoseNothingPassUnjudged) {
    InitVipsOnce();
    const std::string photo = MakePhoto(160, 120, ".png");
    const VipsImageRef prepared = Decoded(photo);
    const ImageEncoding palette{.format = ImageFormat::Webp, .losslessPalette = true};
    for (const auto& [colours, settings, kept] :
         {std::tuple{255, kFull, true},
          {256, kFull, false},
          {256, ImageSettings{.quality = 100, .colors = 64}, true}}) {
        SameLookJudge judge(prepared.get(), {.colours = colours, .flatness = 0.6}, settings);
        // Bytes of another picture, as a palette that lost everything would be.
        std::vector<EncodedCandidate> candidates{{palette, MakeDrawing(160, 120, ".png")}};
        judge.KeepSmallest(photo.size() * 10, candidates);
        EXPECT_EQ(candidates.size(), kept ? 1u : 0u) << colours;
    }
}

// The repacked JPEG keeps every pixel, its orientation and its profile.
TEST(FullQualityTest, RepackedJpegKeepsPixelsOrientationAndProfile) {
    for (const Picture& picture : Pictures()) {
        if (SniffImageFormat(picture.original) != ImageFormat::Jpeg)
            continue;
        SCOPED_TRACE(picture.name);
        const std::optional<std::string> repacked = RepackJpeg(picture.original);
        ASSERT_TRUE(repacked);
        EXPECT_LT(repacked->size(), picture.original.size());
        const VipsImageRef before = Decoded(picture.original);
        const VipsImageRef after = Decoded(*repacked);
        EXPECT_EQ(MeanDifference(before.get(), after.get()), 0.0);
        EXPECT_EQ(vips_image_get_orientation(after.get()),
                  vips_image_get_orientation(before.get()));
        EXPECT_EQ(vips_image_get_typeof(after.get(), VIPS_META_ICC_NAME) != 0,
                  vips_image_get_typeof(before.get(), VIPS_META_ICC_NAME) != 0);
    }
    const std::string photo = MakePhoto(64, 64, ".jpg", 90);
    EXPECT_FALSE(RepackJpeg(photo.substr(0, photo.size() / 2)));
}

TEST(FullQualityTest, BoxesComeFromPixelSizesOnly) {
    const struct {
        BoxMarkup markup;
        int width, height;
        bool givesWidth; // in any unit
    } cases[] = {
        {{"400", "300", "", ""}, 400, 300, true},
        {{"100%", "50.5%", "", ""}, 0, 0, true},
        {{" 120px ", "", "", ""}, 120, 0, true},
        {{"400", "300", "width: 200px; height:auto", ""}, 200, 0, true},
        {{"400", "", "max-width:100px;WIDTH:50% !important", ""}, 0, 0, true},
        {{"", "", "", "(max-width: 600px) 100vw, 300px"}, 1280, 0, false},
        {{" ", "", "", "calc(100vw - 20px)"}, 0, 0, false},
        {{"", "", "width:30em", "500px"}, 0, 0, true},
    };
    for (const auto& each : cases) {
        const ImageBox box = ReadElementBox(each.markup);
        EXPECT_EQ(box.width, each.width) << each.markup.width << each.markup.style;
        EXPECT_EQ(box.height, each.height) << each.markup.height << each.markup.sizes;
        EXPECT_EQ(GivesWidth(each.markup), each.givesWidth)
            << each.markup.width << each.markup.style;
    }
    // An image shown at several boxes gets the largest; a side one leaves open stays open.
    const ImageBox merged = MergedBox({400, 0}, {200, 300});
    EXPECT_EQ(merged.width, 400);
    EXPECT_EQ(merged.height, 0);
    // Twice the box's sides at most; no side named, or an image without one, keeps every pixel.
    const struct {
        std::int64_t width, height;
        ImageBox box;
        double scale;
    } scales[] = {{800, 600, {200, 0}, 0.5},
                  {800, 600, {0, 600}, 1.0},
                  {800, 600, {0, 0}, 1.0},
                  {800, 0, {200, 0}, 1.0},
                  {0, 600, {0, 60}, 1.0}};
    for (const auto& s : scales)
        EXPECT_EQ(SharpScale(s.width, s.height, s.box), s.scale) << s.width << "x" << s.height;
}

// SSIM, row by row, against the textbook one: each pixel's Gaussian window
// summed in two dimensions, edges repeating the border.
// Stripes across and down under noise: every row and column differs.
LumaPlane Stripes(int width, int height, unsigned seed) {
    std::mt19937 random(seed);
    std::vector<float> values;
    for (int i = 0; i < width * height; ++i)
        values.push_back(float(128 + 50 * std::sin(i % width / 3.0) +
                               50 * std::cos(i / width * 1.7) + int(random() % 40) - 20));
    return LumaPlane(width, height, std::move(values));
}

double TextbookSsim(const LumaPlane& a, const LumaPlane& b) {
    double total = 0;
    for (int y = 0; y < a.Height(); ++y)
        for (int x = 0; x < a.Width(); ++x) {
            double m[6] = {}; // weights, x, y, xx, yy, xy
            for (int j = -5; j <= 5; ++j)
                for (int i = -5; i <= 5; ++i) {
                    const int col = std::clamp(x + i, 0, a.Width() - 1);
                    const int row = std::clamp(y + j, 0, a.Height() - 1);
                    const double p = a.At(col, row), q = b.At(col, row);
                    const double terms[6] = {1.0, p, q, p * p, q * q, p * q};
                    for (int k = 0; k < 6; ++k)
                        m[k] += std::exp(-(i * i + j * j) / 4.5) * terms[k];
                }
            const double ux = m[1] / m[0], uy = m[2] / m[0], cov = m[5] / m[0] - ux * uy;
            const double vx = m[3] / m[0] - ux * ux, vy = m[4] / m[0] - uy * uy;
            total += (2 * ux * uy + 6.5025) * (2 * cov + 58.5225) /
                     ((ux * ux + uy * uy + 6.5025) * (vx + vy + 58.5225));
        }
    return total / (double(a.Width()) * a.Height());
}

TEST(FullQualityTest, SsimMatchesTheTextbookWindowAtEverySize) {
    for (const auto& [width, height] : {std::pair{1, 1}, {3, 2}, {12, 40}, {41, 13}, {64, 64}}) {
        const LumaPlane a = Stripes(width, height, 1), b = Stripes(width, height, 2);
        EXPECT_NEAR(Ssim(a, b).mean, TextbookSsim(a, b), 5e-4) << width << "x" << height;
        EXPECT_NEAR(Ssim(a, a).mean, 1.0, 1e-6);
    }
}

} // namespace
} // namespace zel::service::test
