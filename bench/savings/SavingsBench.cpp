// Makes every page of the corpus at three image settings and compares what
// the service sends (reply texts and archive) with what a real browser
// fetched from the same origin (the baseline file, from the origin's log).
//
// usage: zel_bench_savings <baseline file> [<folder to keep the archives in>]
//        [--service <address of a running zelservice> <login>]
//        [--warm | --warm-login <second login>] [--service-pid <pid>]
//        [--origin-log <origin's access log>]
// baseline file: one line per page: "<address> <body bytes> <bytes with headers>"
//
// Without --service the page maker is called directly and the bodies are
// compared (archive and reply text against the origin's bodies). With it the
// pages go through the real service as the browser asks for them (page
// request, polls, archive), and everything that came over the wire, headers
// included, is compared with the origin's bytes with headers.
//
// With --warm (page maker) or --warm-login (service) every page is made a
// second time, as for another user, with the cache the first pass filled,
// and the processor time a page then costs is printed, with what the origin
// sent for it when its access log is given. Processor time is measured
// through the service only when its process id is given (its jobs and
// browsers are its descendants).

#include "../CpuSeconds.h"
#include "HttpGet.h"
#include "MakePage.h"
#include "SentImages.h"
#include "ServiceCost.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <map>
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
    double cpu = 0; // processor seconds the page cost
};

struct Made {
    bool ok = false;
    std::string error;
    std::int64_t sent = 0; // what the browser receives for the page
    double seconds = 0;    // from the page request until the archive is ready
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

// The value below which `share` of the values lie, linear between neighbours.
double Percentile(std::vector<double> values, double share) {
    if (values.empty())
        return 0;
    std::sort(values.begin(), values.end());
    const double place = share * double(values.size() - 1);
    const std::size_t below = std::size_t(place);
    const std::size_t above = std::min(below + 1, values.size() - 1);
    return values[below] + (place - double(below)) * (values[above] - values[below]);
}

double Median(std::vector<double> values) {
    return Percentile(std::move(values), 0.5);
}

struct Tally {
    double sum = 0;
    double jpegSum = 0; // of a JPEG of each picture at the setting's quality
    int count = 0;
    int belowJpeg = 0; // pictures more than 0.01 below a JPEG's SSIM at the same quality
};

// One line per setting: the mean SSIM of the pictures sent, per format.
void PrintImageQuality(const Setting& setting, const std::map<std::string, Tally>& formats) {
    std::printf("%3d/%-4d", setting.quality, setting.colors);
    for (const auto& [format, tally] : formats)
        std::printf("  %s %.4f, JPEG %.4f (%d, %d below JPEG)", format.c_str(),
                    tally.sum / tally.count, tally.jpegSum / tally.count, tally.count,
                    tally.belowJpeg);
    std::printf("\n");
}

// Each picture's bytes may only fall (or stay) as the settings go down.
void PrintMonotonicity(
    const std::map<std::pair<std::size_t, int>, std::vector<std::int64_t>>& bytes,
    const std::vector<Page>& pages) {
    int judged = 0, rising = 0;
    for (const auto& [key, sizes] : bytes) {
        if (sizes.size() < 3 || std::count(sizes.begin(), sizes.end(), -1) > 0)
            continue;
        ++judged;
        if (std::is_sorted(sizes.rbegin(), sizes.rend()))
            continue;
        ++rising;
        std::fprintf(stderr, "not monotone: <img> %d of %s: %lld, %lld, %lld bytes\n", key.second,
                     pages[key.first].url.c_str(), static_cast<long long>(sizes[0]),
                     static_cast<long long>(sizes[1]), static_cast<long long>(sizes[2]));
    }
    std::printf("monotone over the settings: %d of %d pictures (%d cost more at a lower one)\n",
                judged - rising, judged, rising);
}

// The service's replies for one page: the page request's answer (after which
// the archive is fetched), as the browser receives them.
std::int64_t ReplyBytes(const PageOutcome& outcome) {
    return std::int64_t(("OK," + std::to_string(outcome.archiveBytes) + ";" +
                         std::to_string(outcome.pageBytes) + ":")
                            .size());
}

// The cache both passes of the page maker share, when there is a warm pass.
std::string directCache;

Made MakeDirectly(const std::string& url, const Setting& setting, const std::string& archive) {
    PageLimits limits;
    limits.allowPrivateOrigins = true; // the corpus is served on loopback
    // On a loaded machine pictures left out at the deadline would flatter the bytes.
    if (const char* seconds = std::getenv("ZEL_BENCH_RESOURCE_SECONDS"))
        limits.resourceSeconds = std::max(1, std::atoi(seconds));
    limits.cache.folder = directCache;
    PageRequest request;
    request.url = url;
    request.image.quality = setting.quality;
    request.image.colors = setting.colors;
    const auto started = std::chrono::steady_clock::now();
    const PageOutcome outcome = MakePage(request, limits, archive, nullptr);
    Made made;
    made.seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
    made.ok = outcome.ok;
    made.error = outcome.ok ? "" : std::string(NameOf(outcome.failure)) + ": " + outcome.detail;
    made.sent = outcome.archiveBytes + ReplyBytes(outcome);
    return made;
}

// The page through a running service, as the browser asks for it.
Made MakeThroughService(const std::string& service, const std::string& login,
                        const std::string& url, const Setting& setting,
                        const std::string& archive) {
    std::string escaped;
    for (char c : url)
        escaped += c == '?' ? "^^^^^" : c == '&' ? "|||||" : std::string(1, c);
    const std::string settings = "&quality=" + std::to_string(setting.quality) +
                                 "&colors=" + std::to_string(setting.colors) + "&gray=0";
    CURL* curl = curl_easy_init();
    Made made;
    const auto started = std::chrono::steady_clock::now();
    std::string reply =
        HttpGet(curl, service + "/zel/page?image=1&login=" + login + settings + "&url=" + escaped,
                made.sent);
    while (reply.find("NexT") != std::string::npos)
        reply = HttpGet(curl, service + "/zel/poll?login=" + login + settings, made.sent);
    made.seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
    if (reply.rfind("OK,", 0) == 0) {
        const std::string zip = HttpGet(curl, service + "/zel/arch/" + login + "/1.dat", made.sent);
        std::ofstream(archive, std::ios::binary) << zip;
        made.ok = !zip.empty();
    }
    made.error = made.ok ? "" : reply.empty() ? "no reply" : reply;
    curl_easy_cleanup(curl);
    return made;
}

// Processor seconds spent on pages so far: by the service with all it
// started, or by this process when the page maker is called directly.
double PageCpuSeconds(const std::string& servicePid) {
    return servicePid.empty() ? CpuSeconds() : ProcessTreeCpuSeconds(servicePid);
}

// Every page again with the cache warm: processor seconds a page (median,
// 95th percentile), the time to ready and what the origin sent.
void PrintWarmPass(const std::vector<Page>& pages, const std::vector<Setting>& settings,
                   const std::string& service, const std::string& login, const std::string& pid,
                   OriginLog& origin, const std::filesystem::path& scratch) {
    const bool measured = service.empty() || !pid.empty();
    std::printf("again with the cache warm, as another user:\n%-8s %12s %12s %12s %13s %9s\n",
                "setting", "median CPU", "95% CPU", "median time", "origin bytes", "full/304");
    for (const Setting& setting : settings) {
        std::vector<double> cpu, times;
        if (origin.On())
            origin.Mark();
        for (const Page& page : pages) {
            const std::string archive = (scratch / "warm.zip").string();
            const double before = PageCpuSeconds(pid);
            const Made made = service.empty()
                                  ? MakeDirectly(page.url, setting, archive)
                                  : MakeThroughService(service, login, page.url, setting, archive);
            cpu.push_back(PageCpuSeconds(pid) - before);
            times.push_back(made.seconds);
        }
        std::printf("%3d/%-4d ", setting.quality, setting.colors);
        if (measured)
            std::printf("%11.3fs %11.3fs", Median(cpu), Percentile(cpu, 0.95));
        else
            std::printf("%12s %12s", "-", "-");
        std::printf(" %11.2fs", Median(times));
        if (origin.On()) {
            const OriginLog::Sent sent = origin.SinceMark();
            std::printf(" %13lld %5d/%d", static_cast<long long>(sent.bytes), sent.full,
                        sent.notModified);
        }
        std::printf("\n");
    }
}

} // namespace

int main(int argc, char** argv) {
    if (argc < 2) {
        std::cerr << "usage: zel_bench_savings <baseline file> [<archive folder>]\n";
        return 2;
    }
    const std::vector<Page> pages = ReadBaseline(argv[1]);
    std::string keep, service, login, warmLogin, servicePid, originLog;
    bool warm = false;
    for (int i = 2; i < argc; ++i) {
        const std::string argument = argv[i];
        if (argument == "--service" && i + 2 < argc) {
            service = argv[++i];
            login = argv[++i];
        } else if (argument == "--warm") {
            warm = true;
        } else if (argument == "--warm-login" && i + 1 < argc) {
            warm = true;
            warmLogin = argv[++i];
        } else if (argument == "--service-pid" && i + 1 < argc) {
            servicePid = argv[++i];
        } else if (argument == "--origin-log" && i + 1 < argc) {
            originLog = argv[++i];
        } else {
            keep = argument;
        }
    }
    const bool throughService = !service.empty();
    const std::filesystem::path scratch = std::filesystem::temp_directory_path() / "zel-bench";
    std::filesystem::create_directories(scratch);
    if (!keep.empty())
        std::filesystem::create_directories(keep);
    if (warm && !throughService) {
        std::filesystem::remove_all(scratch / "cache");
        directCache = (scratch / "cache").string();
    }

    std::vector<Setting> settings{{100, 256}, {50, 64}, {30, 32}};
    // ZEL_BENCH_SETTINGS=100/256: only the settings named (a shorter run).
    if (const char* only = std::getenv("ZEL_BENCH_SETTINGS"))
        std::erase_if(settings, [&](const Setting& setting) {
            const std::string name =
                std::to_string(setting.quality) + "/" + std::to_string(setting.colors);
            return std::string(only).find(name) == std::string::npos;
        });
    std::int64_t browserTotal = 0;
    auto browserBytes = [&](const Page& page) {
        return throughService ? page.browserTotal : page.browserBody;
    };
    for (const Page& page : pages)
        browserTotal += browserBytes(page);

    std::printf("%d pages, the browser fetched %lld bytes (%s)\n", int(pages.size()),
                static_cast<long long>(browserTotal),
                throughService ? "with headers; service: zelservice, with headers"
                               : "bodies as sent by the origin; service: MakePage, bodies");
    const bool cpuMeasured = !throughService || !servicePid.empty();
    std::printf("%-8s %14s %8s %12s %12s %12s %9s %11s %8s\n", "setting", "service bytes", "saved",
                "median page", "worst page", "median time", "95% time", "median CPU", "95% CPU");
    double savedAt3032 = 0, savedAt100 = 0, medianAt100 = 0;
    SentImages judge;
    std::vector<std::map<std::string, Tally>> quality(settings.size());
    // Per picture (page, <img>): its bytes at each setting, -1 where not sent.
    std::map<std::pair<std::size_t, int>, std::vector<std::int64_t>> pictureBytes;
    for (std::size_t s = 0; s < settings.size(); ++s) {
        const Setting& setting = settings[s];
        std::vector<Result> results;
        std::int64_t sent = 0;
        for (std::size_t i = 0; i < pages.size(); ++i) {
            const std::string archive =
                (keep.empty() ? scratch : std::filesystem::path(keep)) /
                (std::to_string(setting.quality) + "-" + std::to_string(setting.colors) + "-" +
                 std::to_string(i) + ".zip");
            const double cpuBefore = PageCpuSeconds(servicePid);
            const Made made =
                throughService ? MakeThroughService(service, login, pages[i].url, setting, archive)
                               : MakeDirectly(pages[i].url, setting, archive);
            const double cpu = PageCpuSeconds(servicePid) - cpuBefore;
            if (!made.ok) {
                std::fprintf(stderr, "%s: %s\n", pages[i].url.c_str(), made.error.c_str());
                continue;
            }
            for (const SentImage& image : judge.Judge(pages[i].url, archive, setting.quality)) {
                Tally& tally = quality[s][image.format];
                tally.sum += image.ssim;
                tally.jpegSum += image.jpegSsim;
                ++tally.count;
                tally.belowJpeg += image.ssim < image.jpegSsim - 0.01;
                auto& sizes = pictureBytes[{i, image.element}];
                sizes.resize(settings.size(), -1);
                sizes[s] = image.bytes;
            }
            Result result;
            result.sent = made.sent;
            result.saved = 1.0 - double(result.sent) /
                                     double(std::max<std::int64_t>(1, browserBytes(pages[i])));
            result.seconds = made.seconds;
            result.cpu = cpu;
            sent += result.sent;
            results.push_back(result);
            std::fprintf(stderr, "  %3d/%-3d %6.1f%% %8lld -> %8lld  %5.2fs %5.2fs cpu  %s\n",
                         setting.quality, setting.colors, result.saved * 100,
                         static_cast<long long>(browserBytes(pages[i])),
                         static_cast<long long>(result.sent), made.seconds, cpu,
                         pages[i].url.c_str());
        }
        std::vector<double> saved, times, cpu;
        for (const Result& result : results) {
            saved.push_back(result.saved);
            times.push_back(result.seconds);
            cpu.push_back(result.cpu);
        }
        const double total = 1.0 - double(sent) / double(std::max<std::int64_t>(1, browserTotal));
        if (setting.quality == 30)
            savedAt3032 = total;
        if (setting.quality == 100) {
            savedAt100 = total;
            medianAt100 = Median(saved);
        }
        std::printf("%3d/%-4d %14lld %7.1f%% %11.1f%% %11.1f%% %11.2fs %8.2fs", setting.quality,
                    setting.colors, static_cast<long long>(sent), total * 100, Median(saved) * 100,
                    saved.empty() ? 0 : *std::min_element(saved.begin(), saved.end()) * 100,
                    Median(times), Percentile(times, 0.95));
        if (cpuMeasured)
            std::printf(" %10.2fs %7.2fs\n", Median(cpu), Percentile(cpu, 0.95));
        else
            std::printf(" %11s %8s\n", "-", "-");
        if (results.size() != pages.size())
            std::printf("         (%d pages failed, see above)\n",
                        int(pages.size() - results.size()));
    }
    std::printf("mean SSIM (luminance) of the <img> pictures sent, against the original "
                "scaled to the same size, per format; beside it that of a JPEG of the same "
                "pictures at the setting's quality (pictures, of them more than 0.01 below "
                "their JPEG):\n");
    for (std::size_t s = 0; s < settings.size(); ++s)
        PrintImageQuality(settings[s], quality[s]);
    PrintMonotonicity(pictureBytes, pages);
    if (warm) {
        OriginLog origin(originLog);
        PrintWarmPass(pages, settings, service, warmLogin, servicePid, origin, scratch);
    }
    std::printf("saved against headless Chromium's bytes: at 100/256 %.1f%% in total (goal 60%%) "
                "and %.1f%% on the median page (goal 65%%)",
                savedAt100 * 100, medianAt100 * 100);
    if (std::any_of(settings.begin(), settings.end(),
                    [](auto& each) { return each.quality == 30; }))
        std::printf("; at 30/32 %.1f%% (goal 70%%)", savedAt3032 * 100);
    std::printf("\n");
    return 0;
}
