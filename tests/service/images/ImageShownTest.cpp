// The web view shows each format the service writes, AVIF included.

#include "EventWait.h"
#include "ImageShrinker.h"
#include "TempWorkDir.h"
#include "TestImages.h"
#include "WebBrowser.h"

#include <QWebEnginePage>
#include <QWebEngineScript>
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>

namespace zel::service::test {
namespace {

using zel::test::TempWorkDir;

TEST(ImageShownTest, EveryFormatTheServiceWritesIsShown) {
    // Small and of many colours: palettes, lossy encodings and AVIF are tried.
    const std::string picture = MakePhoto(320, 200, ".png");
    const std::vector<ShrunkImage> candidates =
        ImageCandidates(picture, {.quality = 30, .colors = 32}, {}, 1'000'000);
    ASSERT_TRUE(std::any_of(candidates.begin(), candidates.end(), [](const ShrunkImage& image) {
        return image.format == ImageFormat::Avif;
    }));
    TempWorkDir dir;
    std::filesystem::create_directory(dir.file("page.files"));
    std::string page = "<html><body>";
    for (std::size_t i = 0; i < candidates.size(); ++i) {
        const std::string name =
            "page.files/" + std::to_string(i) + "." + ImageExtension(candidates[i].format);
        zel::test::WriteFile(dir.file(name), candidates[i].bytes);
        page += "<img src=\"" + name + "\">";
    }
    zel::test::WriteFile(dir.file("page.htm"), page + "</body></html>");
    std::string widths; // outlives the view, which may still answer a read
    WebBrowser view(dir.path());
    view.Navigate(dir.file("page.htm"));
    // The view runs no script of the page's: the test's own world reads each
    // image's natural width once all have loaded or failed.
    const auto readWidths = [&] {
        view.page()->runJavaScript(
            QStringLiteral("Array.from(document.images).every(i => i.complete) ? "
                           "Array.from(document.images).map(i => '|' + i.naturalWidth).join('')"
                           " : ''"),
            QWebEngineScript::ApplicationWorld,
            [&](const QVariant& result) { widths = result.toString().toStdString(); });
        return std::size_t(std::count(widths.begin(), widths.end(), '|')) == candidates.size();
    };
    ASSERT_TRUE(WaitUntil(readWidths, 60000)) << widths;
    std::string shown;
    for (std::size_t i = 0; i < candidates.size(); ++i)
        shown += "|320";
    EXPECT_EQ(widths, shown);
}

} // namespace
} // namespace zel::service::test
