// What the image pipeline makes of generated images of each kind.

#include "CandidatePlan.h"
#include "ImageShrinker.h"
#include "LooksAsGoodAsJpeg.h"
#include "QualityCalibration.h"
#include "TestImages.h"
#include "VipsImageRef.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <memory>

namespace zel::service::test {
namespace {

struct Kind {
    const char* name;
    std::string bytes;
};

std::vector<Kind> Kinds() {
    return {{"photo", MakePhoto(640, 480, ".jpg", 90)},
            {"webp photo", MakePhoto(640, 480, ".webp", 90)},
            {"png photo", MakePhoto(400, 300, ".png")},
            {"screenshot", MakeScreenshot(955, 647)},
            {"few colours", MakeDrawing(400, 200, ".gif")},
            {"soft-edged", MakeSoftEdged(300, 300)}};
}

constexpr ImageSettings kLow{.quality = 30, .colors = 32};
constexpr ImageSettings kMiddle{.quality = 50, .colors = 64};
constexpr ImageSettings kFull{.quality = 100, .colors = 256};

std::size_t ShrunkSize(const std::string& original, const ImageSettings& settings) {
    return ShrinkImage(original, settings, {}, 40'000'000).bytes.size();
}

bool Has(const std::vector<ShrunkImage>& candidates, ImageFormat format) {
    return std::any_of(candidates.begin(), candidates.end(),
                       [&](const ShrunkImage& candidate) { return candidate.format == format; });
}

TEST(ImagePipelineTest, LowerSettingsNeverCostMore) {
    for (const Kind& kind : Kinds()) {
        SCOPED_TRACE(kind.name);
        const std::size_t low = ShrunkSize(kind.bytes, kLow);
        const std::size_t middle = ShrunkSize(kind.bytes, kMiddle);
        EXPECT_LE(low, middle);
        EXPECT_LE(middle, ShrunkSize(kind.bytes, kFull));
    }
}

TEST(ImagePipelineTest, SoftTransparencyNeverBecomesGif) {
    const std::string art = MakeSoftEdged(200, 200);
    for (const ImageSettings& settings : {kLow, kMiddle, kFull}) {
        const std::vector<ShrunkImage> candidates = ImageCandidates(art, settings, {}, 1'000'000);
        EXPECT_FALSE(Has(candidates, ImageFormat::Gif)) << settings.quality;
        const std::set<int> opacities =
            ReadImage(ShrinkImage(art, settings, {}, 1'000'000).bytes).opacities;
        EXPECT_TRUE(std::any_of(opacities.begin(), opacities.end(), [](int opacity) {
            return opacity > 0 && opacity < 255;
        })) << settings.quality;
    }
}

// Photos get no palette candidates (slow, and they never win); drawings get
// palettes and a lossless WebP of one, and no AVIF (slow, and it loses to
// the palettes that hold their few colours).
TEST(ImagePipelineTest, CandidatesFitWhatTheImageIs) {
    const struct {
        std::string image;
        bool palettes;
    } cases[] = {{MakePhoto(200, 200, ".webp", 80), false},
                 {MakePhoto(200, 200, ".jpg", 80), false},
                 {MakeScreenshot(600, 400), true},
                 {MakeDrawing(300, 100, ".gif"), true}};
    for (const auto& each : cases) {
        const std::vector<ShrunkImage> candidates =
            ImageCandidates(each.image, kLow, {}, 1'000'000);
        EXPECT_EQ(Has(candidates, ImageFormat::Gif), each.palettes);
        const bool losslessWebp =
            std::any_of(candidates.begin(), candidates.end(), [](const ShrunkImage& candidate) {
                return candidate.format == ImageFormat::Webp &&
                       !IsLossyPhotoFormat(candidate.bytes);
            });
        EXPECT_EQ(losslessWebp, each.palettes);
        EXPECT_EQ(Has(candidates, ImageFormat::Avif), !each.palettes);
    }
}

// What is left untried would not have won: the AVIF of a picture of few
// colours is larger than what is sent without it.
TEST(ImagePipelineTest, AvifLeftOutOnlyWhereItLoses) {
    for (const std::string& image :
         {MakeScreenshot(600, 400), MakeScreenshot(300, 200), MakeDrawing(300, 100, ".png")}) {
        for (const ImageSettings& settings : {kLow, kMiddle}) {
            const VipsImageRef decoded(
                vips_image_new_from_buffer(image.data(), image.size(), "", nullptr));
            ASSERT_TRUE(decoded);
            const ImageEncoding avif{.format = ImageFormat::Avif,
                                     .quality =
                                         CalibratedQuality(LossyEncoder::Avif, settings.quality)};
            EXPECT_LT(ShrunkSize(image, settings), EncodeImage(decoded.get(), avif)->size())
                << settings.quality;
        }
    }
}

// Only an image made with all its candidates is said to be whole.
TEST(ImagePipelineTest, SpentBudgetLeavesOnlyTheFirstEncoding) {
    const std::string screenshot = MakeScreenshot(400, 300);
    bool leftOut[2] = {false, false};
    const ImageBudget spent{std::chrono::steady_clock::now(), 2, nullptr, &leftOut[0]};
    EXPECT_EQ(ImageCandidates(screenshot, kLow, {}, 1'000'000, spent).size(), 1u);
    EXPECT_GT(ImageCandidates(screenshot, kLow, {}, 1'000'000, {.leftOut = &leftOut[1]}).size(),
              2u);
    EXPECT_TRUE(leftOut[0] && !leftOut[1]);
    // At full quality a palette that does not look the same leaves the lossless WebP.
    EXPECT_TRUE(Has(ImageCandidates(MakePhoto(200, 200, ".png"), kFull, {}, 1'000'000, spent),
                    ImageFormat::Webp));
}

// A flat drawing in colour gets no JPEG: its palettes and lossy WebP win.
TEST(ImagePipelineTest, OnlyPicturesThatAJpegMayWinGetOne) {
    const ImageSettings grey{.quality = 30, .colors = 32, .gray = true};
    for (const auto& [image, settings, jpeg] : {std::tuple{MakeScreenshot(400, 300), kLow, false},
                                                {MakeScreenshot(400, 300), grey, true},
                                                {MakePhoto(400, 300, ".png"), kLow, true}})
        EXPECT_EQ(std::ranges::count(ImageCandidates(image, settings, {}, 1'000'000),
                                     ImageFormat::Jpeg, &ShrunkImage::format) > 0,
                  jpeg);
}

// What a picture's first full-quality round holds besides the PNG and the
// lossless WebP of its palette, named by format; "lossless": the lossless
// WebP of every pixel.
std::string Planned(const CandidatePlan& plan) {
    std::string names;
    for (const ImageEncoding& e : plan.encodings) {
        if (e.format == ImageFormat::Png || e.losslessPalette)
            continue;
        names += names.empty() ? "" : " ";
        names += e.lossless ? "lossless" : ImageExtension(e.format);
    }
    return names;
}

// A drawing gets AVIF when small, still and in colour; lossy encodings and
// the lossless WebP of every pixel only where it is not too flat for them to
// win; a GIF where it is an opaque picture's palette file, or animated.
TEST(ImagePipelineTest, FullQualityDrawingsGetTheEncodingsThatMayWin) {
    const auto drawing = [](double flatness, Transparency transparency = Transparency::None) {
        return ImageTraits{transparency, kManyColours, flatness};
    };
    const ImageSource png{.format = ImageFormat::Png};
    const ImageSource animated{.format = ImageFormat::Gif, .animated = true};
    const ImageSettings grey{.quality = 100, .gray = true};
    const struct {
        ImageSource source;
        ImageTraits traits;
        std::int64_t pixels;
        ImageSettings settings;
        std::string planned;
    } cases[] = {{png, drawing(0.3), 250 * 250, kFull, "gif jpg webp avif lossless"},
                 {png, drawing(0.6), 500 * 500, kFull, "gif webp avif"},
                 {png, drawing(0.87), 500 * 500, kFull, "gif webp"},
                 {png, drawing(0.95), 500 * 500, kFull, "gif"},
                 {png, drawing(0.6), 520 * 520, kFull, "gif webp"},
                 {png, {.colours = 256, .flatness = 0.6}, 500 * 500, kFull, "gif webp"},
                 {png, drawing(0.6, Transparency::OnOff), 500 * 500, kFull, "webp avif"},
                 {animated, drawing(0.6), 500 * 500, kFull, "gif webp"},
                 {animated, drawing(0.6, Transparency::OnOff), 500 * 500, kFull, "gif webp"},
                 {png, drawing(0.6), 500 * 500, grey, "gif jpg"}};
    for (const auto& each : cases)
        EXPECT_EQ(Planned(PlanFullQuality(each.source, each.traits, each.pixels, each.settings, 0)),
                  each.planned)
            << each.pixels << " " << each.traits.flatness << " " << each.source.animated;
}

// A round's JPEG is left out where the JPEG judged before it scored so far
// below the bar that the finer quantiser cannot close the gap; WebP stays.
TEST(ImagePipelineTest, FullQualityRoundsLeaveOutJpegsThatCannotPass) {
    const ImageSource photo{.format = ImageFormat::Jpeg, .lossyPhoto = true};
    const ImageTraits traits{.colours = kManyColours, .flatness = 0.1};
    for (const auto& [round, judged, jpeg] : {std::tuple{1, std::optional<JudgedJpeg>{}, 1},
                                              {1, JudgedJpeg{88, 0.985}, 1},
                                              {1, JudgedJpeg{88, 0.95}, 0},
                                              {2, JudgedJpeg{94, 0.975}, 1},
                                              {2, JudgedJpeg{94, 0.96}, 0},
                                              {2, JudgedJpeg{97, 0.5}, 1}}) {
        const CandidatePlan plan = PlanFullQuality(photo, traits, 800 * 800, kFull, round, judged);
        const auto count = [&](ImageFormat format) {
            return std::ranges::count(plan.encodings, format, &ImageEncoding::format);
        };
        EXPECT_EQ(count(ImageFormat::Jpeg), jpeg) << round;
        EXPECT_EQ(count(ImageFormat::Webp), 1) << round;
    }
}

// A lossy WebP or AVIF that would be sent must look about as good as a JPEG
// at the same quality: the JPEG candidate, or for a transparent image a JPEG
// of it over white; one that falls short is dropped or encoded again at a
// higher quality. Palettes and encodings that would not be sent are left.
TEST(ImagePipelineTest, ALossyEncodingMustLookAsGoodAsAJpeg) {
    InitVipsOnce();
    // libvips reads the bytes where they are: they must outlive the images.
    const std::string photoBytes = MakePhoto(480, 360, ".jpg", 95);
    const VipsImageRef photo(
        vips_image_new_from_buffer(photoBytes.data(), photoBytes.size(), "", nullptr));
    const VipsImageRef translucent = Then(Share(photo.get()), [](VipsImage* in, VipsImage** out) {
        return vips_bandjoin_const1(in, out, 200.0, nullptr);
    });
    ASSERT_TRUE(photo && translucent);
    const ImageEncoding jpeg{.format = ImageFormat::Jpeg, .quality = 75};
    const struct {
        VipsImage* image;
        ImageEncoding encoding;
        bool kept;
    } cases[] = {
        {photo.get(), {.format = ImageFormat::Avif, .quality = 1}, false},
        {photo.get(), {.format = ImageFormat::Webp, .quality = 1}, false},
        {photo.get(), {.format = ImageFormat::Webp, .bitdepth = 1, .losslessPalette = true}, true},
        {photo.get(), {.format = ImageFormat::Avif, .quality = 90}, true},
        {photo.get(), {.format = ImageFormat::Webp, .quality = 90}, true},
        {translucent.get(), {.format = ImageFormat::Avif, .quality = 1}, false},
        {translucent.get(), {.format = ImageFormat::Avif, .quality = 90}, true}};
    for (const auto& each : cases) {
        SCOPED_TRACE(ImageExtension(each.encoding.format) + std::to_string(each.encoding.quality));
        std::vector<EncodedCandidate> candidates{
            {each.encoding, *EncodeImage(each.image, each.encoding)}};
        if (!vips_image_hasalpha(each.image))
            candidates.push_back({jpeg, *EncodeImage(each.image, jpeg)});
        KeepThoseLookingAsGoodAsJpeg(each.image, jpeg.quality, SIZE_MAX, candidates);
        const bool kept = std::any_of(candidates.begin(), candidates.end(), [&](const auto& c) {
            return c.encoding.format == each.encoding.format &&
                   c.encoding.quality == each.encoding.quality;
        });
        EXPECT_EQ(kept, each.kept);
    }
}

} // namespace
} // namespace zel::service::test
