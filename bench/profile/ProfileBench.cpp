// Where a page's processor time goes (run by hand, see docs/tests.md): a
// documentation page of 58 screenshot-like PNGs (text, buttons, flat panels,
// about 7 KB each, made here), or the page named on the command line with
// the files of its folder, served from a loopback origin and made into an
// archive at 30/32, 50/64 and 100/256, each several times. Per setting it
// prints the median CPU seconds of the process (getrusage: every thread,
// libvips' own included), the time to ready, the archive's bytes and the
// CPU of each stage of the page job. The reference is the image step of
// 9 December 2026 on the generated page at 30/32 (kReferenceCpu, measured
// with this benchmark); the last line is the ratio of this build's CPU to
// it.

#include "../CpuSeconds.h"
#include "OriginServer.h"
#include "MakePage.h"

#include <vips/vips.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <stdexcept>
#include <string>
#include <unistd.h>
#include <vector>

namespace {

using namespace zel::service;
using Clock = std::chrono::steady_clock;

constexpr int kScreenshots = 58;
constexpr int kRepeats = 5;
constexpr double kReferenceCpu = 7.19;

void Check(int failed) {
    if (failed != 0) {
        const std::string text = vips_error_buffer();
        vips_error_clear();
        throw std::runtime_error("vips: " + text);
    }
}

struct Owned {
    std::vector<VipsImage*> images;
    ~Owned() {
        for (VipsImage* image : images)
            g_object_unref(image);
    }
    VipsImage* operator()(VipsImage* image) {
        images.push_back(image);
        return image;
    }
};

// A dialog as a screenshot shows it: a title bar, a light panel, lines of
// anti-aliased text, framed buttons and a coloured icon; each seed lays it
// out differently.
std::string MakeScreenshot(int seed) {
    const int width = 260 + seed * 37 % 300;
    const int height = 120 + seed * 53 % 200;
    Owned keep;
    std::string text;
    for (int line = 0; line < height / 40; ++line)
        text += (line + seed) % 3 ? "Opacity  Mode  Normal  Dissolve\n" : "Layer attributes: \n";
    VipsImage* ink = nullptr;
    Check(vips_text(&ink, text.c_str(), "width", width - 60, "dpi", 72 + seed % 4 * 6, nullptr));
    VipsImage* page = nullptr;
    Check(vips_linear1(keep(ink), &page, -180.0 / 255.0, 235.0, nullptr));
    VipsImage* grey = nullptr;
    Check(vips_cast_uchar(keep(page), &grey, nullptr));
    VipsImage* framed = nullptr;
    Check(vips_embed(keep(grey), &framed, 12, 28, width, height, "extend", VIPS_EXTEND_WHITE,
                     nullptr));
    VipsImage* bands[3] = {keep(framed), framed, framed};
    VipsImage* rgb = nullptr;
    Check(vips_bandjoin(bands, &rgb, 3, nullptr));
    VipsImage* drawn = keep(vips_image_copy_memory(keep(rgb)));
    if (drawn == nullptr)
        Check(-1);
    const double title[3] = {double(40 + seed * 11 % 60), 90.0, double(160 + seed * 7 % 80)};
    Check(vips_draw_rect(drawn, const_cast<double*>(title), 3, 0, 0, width, 22, "fill", TRUE,
                         nullptr));
    const double frame[3] = {120, 120, 130};
    for (int button = 0; button < 2 + seed % 3; ++button)
        Check(vips_draw_rect(drawn, const_cast<double*>(frame), 3, width - 80 - button * 76,
                             height - 30, 70, 22, nullptr));
    const double icon[3] = {220, double(100 + seed * 13 % 120), 40};
    Check(vips_draw_circle(drawn, const_cast<double*>(icon), 3, width - 30, 45, 10, "fill", TRUE,
                           nullptr));
    void* buffer = nullptr;
    size_t length = 0;
    Check(vips_pngsave_buffer(drawn, &buffer, &length, "compression", 9, nullptr));
    std::string bytes(static_cast<char*>(buffer), length);
    g_free(buffer);
    return bytes;
}

struct Run {
    double cpu = 0;
    double seconds = 0;
    PageOutcome outcome;
};

Run MakeOnce(const std::string& url, const ImageSettings& settings, const std::string& archive) {
    PageLimits limits;
    limits.allowPrivateOrigins = true;
    limits.resourceSeconds = 600; // every image made, however busy the machine
    const double cpuBefore = CpuSeconds();
    const auto start = Clock::now();
    Run run;
    run.outcome = MakePage({url, settings, {}}, limits, archive, nullptr);
    run.seconds = std::chrono::duration<double>(Clock::now() - start).count();
    run.cpu = CpuSeconds() - cpuBefore;
    if (!run.outcome.ok)
        throw std::runtime_error("page failed: " + std::string(NameOf(run.outcome.failure)) + " " + run.outcome.detail);
    return run;
}

} // namespace

int main(int argc, char** argv) {
    if (VIPS_INIT("profile_bench") != 0)
        return 1;
    zel::service::test::OriginServer origin;
    std::string path = "/page.html";
    std::int64_t imageBytes = 0;
    if (argc > 1) {
        const std::filesystem::path page = std::filesystem::canonical(argv[1]);
        origin.Http().set_mount_point("/", page.parent_path().string());
        path = "/" + page.filename().string();
        std::printf("page %s\n", page.c_str());
    } else {
        std::string html = "<!DOCTYPE html><html><body><h1>Layer modes</h1>";
        for (int i = 0; i < kScreenshots; ++i) {
            const std::string name = "shot" + std::to_string(i) + ".png";
            const std::string bytes = MakeScreenshot(i);
            imageBytes += std::int64_t(bytes.size());
            origin.Serve("/" + name, bytes, "image/png");
            html += "<p>Mode " + std::to_string(i) + "</p><img src=\"" + name + "\" alt=\"\">";
        }
        origin.Serve(path, html + "</body></html>", "text/html");
        std::printf("%d screenshots, %.0f KB of PNG\n", kScreenshots, imageBytes / 1e3);
    }
    origin.Start();
    const std::string archive =
        (std::filesystem::temp_directory_path() / ("profile_bench_" + std::to_string(getpid())))
            .string();
    const ImageSettings settings[] = {
        {.quality = 30, .colors = 32}, {.quality = 50, .colors = 64}, {.quality = 100}};
    double lowCpu = 0;
    for (const ImageSettings& setting : settings) {
        std::vector<Run> runs;
        for (int repeat = 0; repeat < kRepeats; ++repeat)
            runs.push_back(MakeOnce(origin.Url(path), setting, archive));
        std::sort(runs.begin(), runs.end(),
                  [](const Run& a, const Run& b) { return a.cpu < b.cpu; });
        const Run& median = runs[runs.size() / 2];
        std::printf("%3d/%-3d cpu %.2f s (min %.2f), ready in %.2f s, page %.0f KB, archive %.0f "
                    "KB\n",
                    setting.quality, setting.colors, median.cpu, runs.front().cpu, median.seconds,
                    median.outcome.pageBytes / 1e3, median.outcome.archiveBytes / 1e3);
        std::printf("        stages (cpu s/runs): %s\n", median.outcome.stages.Text().c_str());
        if (setting.quality == 30)
            lowCpu = median.cpu;
    }
    std::filesystem::remove(archive);
    std::printf("cpu per page at 30/32 vs %.2f s of 9 December: %.2fx\n", kReferenceCpu,
                lowCpu / kReferenceCpu);
    return 0;
}
