// Image pipeline benchmark (run by hand, see docs/tests.md): a page of eight
// 4096x4096 WebP photos, made here from noise and gradients, served from a
// loopback origin and made into an archive at 30/32, 50/64 and 100/256, and
// at 100/256 once more as a gallery showing each 400 pixels wide. The
// reference is `vips thumbnail` (to 1280 pixels, the width cap below full
// quality) run on the same eight files one after another. Goal: every run
// ready within the reference's time, with every image in the archive. The
// last line is the slowest run's ratio to the reference, in wall time and in
// processor time (which a machine shared with other jobs leaves truer).

#include "../CpuSeconds.h"
#include "MakePage.h"
#include "OriginServer.h"

#include <vips/vips.h>
#include <zip.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <stdexcept>
#include <string>
#include <vector>

namespace {

using namespace zel::service;
using Clock = std::chrono::steady_clock;

constexpr int kPhotos = 8;
constexpr int kSide = 4096;

void Check(int failed) {
    if (failed != 0)
        throw std::runtime_error(std::string("vips: ") + vips_error_buffer());
}

// Noise at a coarser grid, scaled up to the photo's size: detail of that size.
VipsImage* Octave(int grid, double sigma, int seed) {
    VipsImage* noise = nullptr;
    VipsImage* scaled = nullptr;
    Check(vips_gaussnoise(&noise, grid, grid, "sigma", sigma, "mean", 0.0, "seed", seed, nullptr));
    Check(vips_resize(noise, &scaled, double(kSide) / grid, "kernel", VIPS_KERNEL_LINEAR, nullptr));
    g_object_unref(noise);
    return scaled;
}

// Colour gradients under detail at every scale, as in a photo, different for
// each seed.
std::string MakeWebpPhoto(int seed) {
    std::vector<VipsImage*> owned;
    auto keep = [&](VipsImage* image) {
        owned.push_back(image);
        return image;
    };
    VipsImage* xyz = nullptr;
    Check(vips_xyz(&xyz, kSide, kSide, nullptr));
    keep(xyz);
    VipsImage* x = nullptr;
    VipsImage* y = nullptr;
    Check(vips_extract_band(xyz, &x, 0, nullptr));
    Check(vips_extract_band(xyz, &y, 1, nullptr));
    VipsImage* octaves[3] = {keep(Octave(64, 40.0, seed)), keep(Octave(512, 20.0, seed + 100)),
                             keep(Octave(kSide, 6.0, seed + 200))};
    VipsImage* detail = nullptr;
    Check(vips_sum(octaves, &detail, 3, nullptr));
    VipsImage* red = nullptr;
    VipsImage* green = nullptr;
    VipsImage* blue = nullptr;
    Check(vips_linear1(x, &red, 160.0 / kSide, seed * 10.0, nullptr));
    Check(vips_linear1(y, &green, 120.0 / kSide, 100.0 - seed * 5.0, nullptr));
    Check(vips_linear1(detail, &blue, 1.0, 128.0, nullptr));
    VipsImage* withRed = nullptr;
    VipsImage* withGreen = nullptr;
    Check(vips_add(red, detail, &withRed, nullptr));
    Check(vips_add(green, detail, &withGreen, nullptr));
    VipsImage* bands[3] = {keep(withRed), keep(withGreen), keep(blue)};
    for (VipsImage* image : {x, y, detail, red, green})
        keep(image);
    VipsImage* rgb = nullptr;
    VipsImage* chars = nullptr;
    Check(vips_bandjoin(bands, &rgb, 3, nullptr));
    Check(vips_cast_uchar(keep(rgb), &chars, nullptr));
    void* buffer = nullptr;
    size_t length = 0;
    Check(vips_webpsave_buffer(keep(chars), &buffer, &length, "Q", 80, "effort", 0, nullptr));
    std::string bytes(static_cast<char*>(buffer), length);
    g_free(buffer);
    for (VipsImage* image : owned)
        g_object_unref(image);
    return bytes;
}

double Seconds(Clock::time_point since) {
    return std::chrono::duration<double>(Clock::now() - since).count();
}

struct Cost {
    double wall = 0;
    double cpu = 0;
};

// The reference: the command line tool on each file, one after another.
Cost VipsThumbnailCost(const std::vector<std::filesystem::path>& files) {
    const auto start = Clock::now();
    const double cpu = CpuSeconds(RUSAGE_CHILDREN);
    for (const auto& file : files) {
        const std::string command = "vips thumbnail '" + file.string() + "' '" + file.string() +
                                    ".jpg' 1280 >/dev/null 2>&1";
        if (std::system(command.c_str()) != 0)
            throw std::runtime_error("vips thumbnail failed (package libvips-tools)");
    }
    return {Seconds(start), CpuSeconds(RUSAGE_CHILDREN) - cpu};
}

int ImagesInArchive(const std::string& path) {
    int error = 0;
    zip_t* archive = zip_open(path.c_str(), ZIP_RDONLY, &error);
    if (archive == nullptr)
        return 0;
    int images = 0;
    for (zip_int64_t i = 0; i < zip_get_num_entries(archive, 0); ++i)
        images +=
            std::string(zip_get_name(archive, std::uint64_t(i), 0)).rfind("page.files/", 0) == 0;
    zip_close(archive);
    return images;
}

} // namespace

int main() {
    if (VIPS_INIT("images_bench") != 0)
        return 1;
    const std::filesystem::path folder =
        std::filesystem::temp_directory_path() / ("images_bench_" + std::to_string(getpid()));
    std::filesystem::create_directories(folder);
    zel::service::test::OriginServer origin;
    std::string html = "<!DOCTYPE html><html><body>";
    std::string gallery = html;
    std::vector<std::filesystem::path> files;
    std::int64_t photoBytes = 0;
    for (int i = 0; i < kPhotos; ++i) {
        const std::string name = "photo" + std::to_string(i) + ".webp";
        const std::string bytes = MakeWebpPhoto(i);
        photoBytes += std::int64_t(bytes.size());
        files.push_back(folder / name);
        std::ofstream(files.back(), std::ios::binary) << bytes;
        origin.Serve("/" + name, bytes, "image/webp");
        html += "<img src=\"" + name + "\" alt=\"\">";
        gallery += "<img src=\"" + name + "\" width=\"400\" alt=\"\">";
    }
    origin.Serve("/page.html", html + "</body></html>", "text/html");
    origin.Serve("/gallery.html", gallery + "</body></html>", "text/html");
    origin.Start();
    std::printf("%d photos of %dx%d, %.1f MB of WebP\n", kPhotos, kSide, kSide, photoBytes / 1e6);

    const Cost reference = VipsThumbnailCost(files);
    std::printf("vips thumbnail, one after another: %.2f s, processor %.2f s\n", reference.wall,
                reference.cpu);
    PageLimits limits;
    limits.allowPrivateOrigins = true;
    Cost slowest;
    const struct {
        const char* page;
        ImageSettings settings;
    } runs[] = {{"/page.html", {.quality = 30, .colors = 32}},
                {"/page.html", {.quality = 50, .colors = 64}},
                {"/page.html", {.quality = 100, .colors = 256}},
                {"/gallery.html", {.quality = 100, .colors = 256}}};
    for (const auto& run : runs) {
        const std::string archive = (folder / "page.zip").string();
        const auto start = Clock::now();
        const double cpu = CpuSeconds();
        const PageOutcome outcome =
            MakePage({origin.Url(run.page), run.settings, {}}, limits, archive, nullptr);
        const Cost cost{Seconds(start), CpuSeconds() - cpu};
        slowest = {std::max(slowest.wall, cost.wall), std::max(slowest.cpu, cost.cpu)};
        std::printf("%3d/%-3d %-13s %s: %.2f s (%.2fx), processor %.2f s (%.2fx), %d of %d images, "
                    "archive %.0f KB\n",
                    run.settings.quality, run.settings.colors, run.page + 1,
                    outcome.ok ? "ready" : "failed", cost.wall, cost.wall / reference.wall,
                    cost.cpu, cost.cpu / reference.cpu, ImagesInArchive(archive), kPhotos,
                    outcome.archiveBytes / 1e3);
        std::printf("        stages (cpu s/runs): %s\n", outcome.stages.Text().c_str());
    }
    std::filesystem::remove_all(folder);
    std::printf("ratio slowest setting / vips thumbnail: %.2f, processor %.2f (goal 1.0)\n",
                slowest.wall / reference.wall, slowest.cpu / reference.cpu);
    return 0;
}
