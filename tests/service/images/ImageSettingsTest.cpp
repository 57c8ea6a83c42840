// The user's image settings applied to real images served by a local origin.

#include "ImageShrinker.h"
#include "OriginServer.h"
#include "PageRun.h"
#include "TestImages.h"
#include "WebpMetadata.h"

#include <gtest/gtest.h>

namespace zel::service::test {
namespace {

class ImageSettingsTest : public OriginTest {
protected:
    void SetUp() override {
        photo = MakePhoto(400, 300);
        origin.Serve("/page.html",
                     "<html><body><img src=\"photo.jpg\" alt=\"A photo\">"
                     "<div style=\"background:url(photo.jpg)\">x</div></body></html>",
                     "text/html");
        origin.Serve("/photo.jpg", photo, "image/jpeg");
        origin.Serve("/fixed.html", "<html><body><img src=\"fixed.jpg\"></body></html>",
                     "text/html");
        origin.Serve("/fixed.jpg", photo, "image/jpeg",
                     {{"Cache-Control", "max-age=60, no-transform"}});
        origin.Start();
    }

    // The single image of the page at these settings.
    std::string ImageOf(const PageRequest& request) {
        PageRun run(request);
        EXPECT_TRUE(run.Outcome().ok) << run.Outcome().detail;
        const auto files = run.PageFiles();
        EXPECT_EQ(files.size(), 1u);
        return files.empty() ? std::string() : run.File(files[0]);
    }

    std::string photo;
};

TEST_F(ImageSettingsTest, LowerQualityGivesSmallerImagesNeverLargerThanTheOriginal) {
    const std::string at90 = ImageOf(Request(origin.Url("/page.html"), 90));
    const std::string at30 = ImageOf(Request(origin.Url("/page.html"), 30));
    const std::string at100 = ImageOf(Request(origin.Url("/page.html"), 100));
    EXPECT_LT(at30.size(), at90.size());
    for (const std::string* image : {&at90, &at30, &at100})
        EXPECT_LE(image->size(), photo.size());
    // Quality 0 is taken as 1, not as an error.
    EXPECT_FALSE(ImageOf(Request(origin.Url("/page.html"), 0)).empty());
}

TEST_F(ImageSettingsTest, GreyOutputHasNoColour) {
    EXPECT_FALSE(ReadImage(photo).grey);
    EXPECT_TRUE(ReadImage(ImageOf(Request(origin.Url("/page.html"), 60, 256, true))).grey);
    const ImageSettings grey{.gray = true};
    for (const std::string& original : {photo, MakeDrawing(80, 40, ".gif")})
        for (const ShrunkImage& candidate : ImageCandidates(original, grey, {}, 1'000'000))
            EXPECT_TRUE(ReadImage(candidate.bytes).grey) << ImageExtension(candidate.format);
}

// A palette holds at most the colours asked for, and a picture of more
// colours than that fills more than half of it, partly transparent or not.
TEST_F(ImageSettingsTest, PaletteOutputHasAtMostTheAskedColours) {
    const std::string rich = MakePhoto(100, 80, ".png");
    const std::string soft = MakeSoftEdged(100, 80);
    for (const std::string& original :
         {MakeDrawing(240, 60, ".png"), MakeDrawing(240, 60, ".gif"), rich, soft}) {
        for (int colors : {2, 4, 32, 256}) {
            SCOPED_TRACE(std::to_string(original.size()) + " bytes, " + std::to_string(colors));
            const ImageSettings settings{.quality = 50, .colors = colors};
            int palettes = 0;
            for (const ShrunkImage& candidate :
                 ImageCandidates(original, settings, {}, 1'000'000)) {
                // A lossless WebP is made of the palette.
                const bool losslessWebp =
                    candidate.format == ImageFormat::Webp && !IsLossyPhotoFormat(candidate.bytes);
                if (candidate.bytes == original)
                    continue;
                if (candidate.format != ImageFormat::Gif && candidate.format != ImageFormat::Png &&
                    !losslessWebp)
                    continue;
                ++palettes;
                const std::size_t used = ReadImage(candidate.bytes).colours.size();
                EXPECT_LE(used, std::size_t(colors));
                if ((original == rich || original == soft) &&
                    ReadImage(original).colours.size() > std::size_t(colors)) {
                    EXPECT_GT(used, std::size_t(colors / 2)) << ImageExtension(candidate.format);
                }
            }
            EXPECT_GE(palettes, 1);
        }
    }
}

TEST_F(ImageSettingsTest, OriginalKeptWhenNothingIsSmallerOrItDoesNotDecode) {
    const ImageSettings settings{.quality = 50, .colors = 2, .gray = true};
    // The original may not compete (it has colour), yet no re-encoding is larger.
    for (const std::string& tiny : {MakeDrawing(8, 1, ".gif"), MakeDrawing(8, 1, ".png"),
                                    WithoutWebpMetadata(MakeDrawing(1, 1, ".webp[lossless]"))}) {
        const ShrunkImage kept = ShrinkImage(tiny, settings, {}, 1'000'000);
        EXPECT_LE(kept.bytes.size(), tiny.size());
        EXPECT_NO_THROW(ReadImage(kept.bytes));
    }
    const std::string broken = std::string("\xFF\xD8\xFF\xE0", 4) + std::string(100, 'x');
    EXPECT_EQ(ShrinkImage(broken, settings, {}, 1'000'000).bytes, broken);
    // Full quality without a box: the size stays.
    EXPECT_EQ(ReadImage(ShrinkImage(photo, ImageSettings{}, {}, 1'000'000).bytes).width, 400);
}

TEST_F(ImageSettingsTest, ImagesOffFetchesNoImageAndKeepsTheAltText) {
    PageRun run(Request(origin.Url("/page.html"), 50, 64, false, false));
    ASSERT_TRUE(run.Outcome().ok) << run.Outcome().detail;
    EXPECT_EQ(origin.Hits("/photo.jpg"), 0);
    EXPECT_TRUE(run.PageFiles().empty());
    const std::string page = run.File("page.htm");
    EXPECT_NE(page.find("<img  alt=\"A photo\">"), std::string::npos) << page;
    EXPECT_EQ(page.find("photo.jpg"), std::string::npos) << page;
}

TEST_F(ImageSettingsTest, NoTransformImageGoesUnchanged) {
    EXPECT_EQ(ImageOf(Request(origin.Url("/fixed.html"), 10, 2, true)), photo);
}

TEST_F(ImageSettingsTest, LargeImageScaledToItsBox) {
    const std::string big = MakePhoto(1600, 400);
    ImageSettings settings;
    settings.quality = 80;
    EXPECT_EQ(ReadImage(ShrinkImage(big, settings, {}, 40'000'000).bytes).width, 1280);
    EXPECT_EQ(ReadImage(ShrinkImage(big, settings, {200, 0}, 40'000'000).bytes).width, 200);
    settings.quality = 100; // twice the box, for screens of double density
    EXPECT_EQ(ReadImage(ShrinkImage(big, settings, {200, 0}, 40'000'000).bytes).width, 400);
    EXPECT_EQ(ReadImage(ShrinkImage(big, settings, {}, 40'000'000).bytes).width, 1600);
}

} // namespace
} // namespace zel::service::test
