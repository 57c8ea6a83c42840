// The web view shows each format the service writes, AVIF included.

#include "EventWait.h"
#include "ImageShrinker.h"
#include "TempWorkDir.h"
#include "TestImages.h"
#include "WebBrowser.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>

namespace zel::service::test {
namespace {

using zel::test::TempWorkDir;

TEST(ImageShownTest, EveryFormatTheServiceWritesIsShown) {
    const std::string screenshot = MakeScreenshot(320, 200);
    const std::vector<ShrunkImage> candidates =
        ImageCandidates(screenshot, {.quality = 30, .colors = 32}, {}, 1'000'000);
    ASSERT_TRUE(std::any_of(candidates.begin(), candidates.end(), [](const ShrunkImage& image) {
        return image.format == ImageFormat::Avif;
    }));
    TempWorkDir dir;
    std::filesystem::create_directory(dir.file("page.files"));
    // Each image adds "|" and its natural width to the title, or "|error".
    std::string page = "<html><head><title></title></head><body>";
    for (std::size_t i = 0; i < candidates.size(); ++i) {
        const std::string name =
            "page.files/" + std::to_string(i) + "." + ImageExtension(candidates[i].format);
        zel::test::WriteFile(dir.file(name), candidates[i].bytes);
        page += "<img src=\"" + name +
                "\" onload=\"document.title += '|' + this.naturalWidth\""
                " onerror=\"document.title += '|error'\">";
    }
    zel::test::WriteFile(dir.file("page.htm"), page + "</body></html>");
    WebBrowser view(dir.path());
    view.Navigate(dir.file("page.htm"));
    const auto reports = [&] { return std::size_t(view.title().count('|')); };
    ASSERT_TRUE(WaitUntil([&] { return reports() == candidates.size(); }, 60000))
        << view.title().toStdString();
    std::string shown;
    for (std::size_t i = 0; i < candidates.size(); ++i)
        shown += "|320";
    EXPECT_EQ(view.title().toStdString(), shown);
}

} // namespace
} // namespace zel::service::test
