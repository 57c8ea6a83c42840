// Makes every page of the corpus at three image settings and compares what
// the service would send (reply texts and archive) with what a real browser
// fetched from the same origin (the baseline file, from the origin's log).
//
// usage: zel_bench_savings <baseline file> [<folder to keep the archives in>]
// baseline file: one line per page: "<address> <body bytes> <bytes with headers>"

#include "PageMaker.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <sstream>
#include <string>
#include <vector>

using namespace zel::service;

namespace {

struct Page {
    std::string url;
    std::int64_t browserBody = 0;
    std::int64_t browserTotal = 0;
};

struct Setting {
    int quality;
    int colors;
};

struct Result {
    std::int64_t sent = 0;
    double saved = 0; // share of the browser's bytes saved
    double seconds = 0;
};

std::vector<Page> ReadBaseline(const std::string& path) {
    std::ifstream in(path);
    std::vector<Page> pages;
    for (std::string line; std::getline(in, line);) {
        std::istringstream fields(line);
        Page page;
        if (fields >> page.url >> page.browserBody >> page.browserTotal)
            pages.push_back(page);
    }
    return pages;
}

double Median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    const std::size_t n = values.size();
    return n == 0 ? 0 : n % 2 ? values[n / 2] : (values[n / 2 - 1] + values[n / 2]) / 2;
}

// The service's replies for one page: the page request's answer (after which
// the archive is fetched), as the browser receives them.
std::int64_t ReplyBytes(const PageOutcome& outcome) {
    return std::int64_t(("OK," + std::to_string(outcome.archiveBytes) + ";" +
                         std::to_string(outcome.pageBytes) + ":")
                            .size());
}

} // namespace

int main(int argc, char** argv) {
    if (argc < 2) {
        std::cerr << "usage: zel_bench_savings <baseline file> [<archive folder>]\n";
        return 2;
    }
    const std::vector<Page> pages = ReadBaseline(argv[1]);
    const std::string keep = argc > 2 ? argv[2] : "";
    const std::filesystem::path scratch = std::filesystem::temp_directory_path() / "zel-bench";
    std::filesystem::create_directories(scratch);
    if (!keep.empty())
        std::filesystem::create_directories(keep);

    PageLimits limits;
    limits.allowPrivateOrigins = true; // the corpus is served on loopback
    const std::vector<Setting> settings{{100, 256}, {50, 64}, {30, 32}};
    std::int64_t browserTotal = 0;
    for (const Page& page : pages)
        browserTotal += page.browserBody;

    std::printf("%d pages, the browser fetched %lld bytes (bodies as sent by the origin)\n",
                int(pages.size()), static_cast<long long>(browserTotal));
    std::printf("%-8s %14s %8s %12s %12s %14s\n", "setting", "service bytes", "saved",
                "median page", "worst page", "median time");
    double savedAt3032 = 0;
    for (const Setting& setting : settings) {
        std::vector<Result> results;
        std::int64_t sent = 0;
        for (std::size_t i = 0; i < pages.size(); ++i) {
            PageRequest request;
            request.url = pages[i].url;
            request.image.quality = setting.quality;
            request.image.colors = setting.colors;
            const std::string archive =
                (keep.empty() ? scratch : std::filesystem::path(keep)) /
                (std::to_string(setting.quality) + "-" + std::to_string(setting.colors) + "-" +
                 std::to_string(i) + ".zip");
            const auto started = std::chrono::steady_clock::now();
            const PageOutcome outcome = MakePage(request, limits, archive, nullptr);
            const double seconds =
                std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
            if (!outcome.ok) {
                std::fprintf(stderr, "%s: %s\n", request.url.c_str(), outcome.error.c_str());
                continue;
            }
            Result result;
            result.sent = outcome.archiveBytes + ReplyBytes(outcome);
            result.saved = 1.0 - double(result.sent) / double(std::max<std::int64_t>(1, pages[i].browserBody));
            result.seconds = seconds;
            sent += result.sent;
            results.push_back(result);
            std::fprintf(stderr, "  %3d/%-3d %6.1f%% %8lld -> %8lld  %5.2fs  %s\n", setting.quality,
                         setting.colors, result.saved * 100,
                         static_cast<long long>(pages[i].browserBody),
                         static_cast<long long>(result.sent), seconds, request.url.c_str());
        }
        std::vector<double> saved, times;
        for (const Result& result : results) {
            saved.push_back(result.saved);
            times.push_back(result.seconds);
        }
        const double total = 1.0 - double(sent) / double(std::max<std::int64_t>(1, browserTotal));
        if (setting.quality == 30)
            savedAt3032 = total;
        std::printf("%3d/%-4d %14lld %7.1f%% %11.1f%% %11.1f%% %13.2fs\n", setting.quality,
                    setting.colors, static_cast<long long>(sent), total * 100, Median(saved) * 100,
                    saved.empty() ? 0 : *std::min_element(saved.begin(), saved.end()) * 100,
                    Median(times));
        if (results.size() != pages.size())
            std::printf("         (%d pages failed, see above)\n", int(pages.size() - results.size()));
    }
    std::printf("saved at 30/32 against headless Chromium's bytes: %.1f%% (goal 70%%)\n",
                savedAt3032 * 100);
    return 0;
}
