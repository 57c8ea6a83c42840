// What the image pipeline makes of generated images of each kind.

#include "ImageShrinker.h"
#include "LooksAsGoodAsJpeg.h"
#include "TestImages.h"
#include "VipsImageRef.h"

#include <gtest/gtest.h>

#include <algorithm>
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
// palettes and a lossless WebP of one.
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
        EXPECT_TRUE(Has(candidates, ImageFormat::Avif));
    }
}

TEST(ImagePipelineTest, SpentBudgetLeavesOnlyTheFirstEncoding) {
    const std::string screenshot = MakeScreenshot(400, 300);
    const ImageBudget spent{std::chrono::steady_clock::now(), 2};
    EXPECT_EQ(ImageCandidates(screenshot, kLow, {}, 1'000'000, spent).size(), 1u);
    EXPECT_GT(ImageCandidates(screenshot, kLow, {}, 1'000'000).size(), 3u);
}

// A lossy WebP or AVIF smaller than the JPEG stays only when it looks about
// as good; palettes and larger files are not judged.
TEST(ImagePipelineTest, ASmallerLossyEncodingMustLookAsGoodAsTheJpeg) {
    InitVipsOnce();
    const std::string photo = MakePhoto(480, 360, ".jpg", 95);
    const VipsImageRef prepared(
        vips_image_new_from_buffer(photo.data(), photo.size(), "", nullptr));
    ASSERT_TRUE(prepared);
    const struct {
        ImageEncoding encoding;
        bool kept;
    } cases[] = {{{.format = ImageFormat::Avif, .quality = 1}, false},
                 {{.format = ImageFormat::Webp, .quality = 1}, false},
                 {{.format = ImageFormat::Webp, .bitdepth = 1, .losslessPalette = true}, true},
                 {{.format = ImageFormat::Avif, .quality = 90}, true},
                 {{.format = ImageFormat::Webp, .quality = 90}, true}};
    for (const auto& each : cases) {
        SCOPED_TRACE(ImageExtension(each.encoding.format) + std::to_string(each.encoding.quality));
        const ImageEncoding jpeg{.format = ImageFormat::Jpeg, .quality = 50};
        std::vector<EncodedCandidate> candidates{
            {jpeg, *EncodeImage(prepared.get(), jpeg)},
            {each.encoding, *EncodeImage(prepared.get(), each.encoding)}};
        KeepThoseLookingAsGoodAsJpeg(prepared.get(), candidates);
        EXPECT_EQ(candidates.size(), each.kept ? 2u : 1u);
    }
}

} // namespace
} // namespace zel::service::test
