#include "PageReuse.h"

#include "Fetcher.h"
#include "PageArchive.h"
#include "PageError.h"

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <sys/stat.h>

namespace zel::service {
namespace {

// The build of a program: a page made by another may differ.
std::string ProgramBuild(const std::string& program) {
    struct stat info {};
    if (stat(program.c_str(), &info) != 0)
        return "unknown";
    return std::to_string(info.st_size) + "." + std::to_string(info.st_mtim.tv_sec) + "." +
           std::to_string(info.st_mtim.tv_nsec);
}

std::string ReadWhole(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), {}};
}

} // namespace

std::string PageRecipe(const PageRequest& request, const PageLimits& limits,
                       const std::string& program) {
    const ImageSettings& image = request.image;
    std::string recipe = "page1/" + ProgramBuild(program) + "/" + request.url + "\n";
    for (const std::int64_t value :
         {std::int64_t(image.images), std::int64_t(image.quality), std::int64_t(image.colors),
          std::int64_t(image.gray), std::int64_t(request.renderer.Usable()),
          std::int64_t(limits.render), std::int64_t(limits.keepScripts), limits.maxPageBytes,
          limits.maxStyleSheetBytes, std::int64_t(limits.maxResources), limits.maxJobBytes,
          limits.maxImagePixels, std::int64_t(limits.maxDecodedRatio), limits.maxFontBytes,
          std::int64_t(limits.maxNestingDepth), std::int64_t(limits.maxFrameDepth),
          std::int64_t(limits.maxImportDepth), std::int64_t(limits.renderSeconds),
          std::int64_t(limits.renderQuietMilliseconds)})
        recipe += std::to_string(value) + "/";
    return recipe;
}

std::optional<PageOutcome> ReusePage(SharedCache& cache, const std::string& recipe,
                                     const PageLimits& limits, const std::string& archivePath,
                                     const std::function<void(std::int64_t)>& onFetched,
                                     const std::function<bool()>& stop) {
    // The check may run in a thread of a process that does other work.
    StageClock clock(StageClock::Counted::Thread);
    std::optional<PageOutcome> outcome;
    const std::int64_t maxBodyBytes = std::min(limits.maxJobBytes, limits.cache.maxEntryBytes);
    {
        const StageClock::Scope reusing(&clock, Stage::Reuse);
        const auto page = cache.FindPage(recipe);
        if (!page)
            return std::nullopt;
        Fetcher fetcher(limits, nullptr);
        fetcher.UseCache(&cache);
        // Only the fingerprints count: the kept bodies are not read.
        struct Skipping {
            SharedCache& cache;
            ~Skipping() { cache.SkipKeptBodies(false); }
        } skipping{cache};
        cache.SkipKeptBodies(true);
        for (const SharedCache::Source& source : page->sources) {
            if ((stop && stop()) || fetcher.WireBytes() > limits.maxJobBytes)
                return std::nullopt;
            try {
                fetcher.Fetch(source.url, maxBodyBytes, limits.fetchTimeoutSeconds);
            } catch (const PageError&) {
                // Failing again as when the page was made is as it was made.
            }
            if (cache.TakeFetched() != std::vector{source})
                return std::nullopt;
        }
        const std::int64_t archiveBytes = PageArchive::WriteBytes(archivePath, page->archive);
        if (onFetched)
            onFetched(fetcher.WireBytes());
        outcome = PageOutcome::Made(fetcher.WireBytes(), archiveBytes);
    }
    outcome->stages = clock.Times();
    return outcome;
}

void KeepPage(SharedCache& cache, const std::string& recipe, const std::string& archivePath) {
    auto sources = cache.TakeFetched();
    if (!sources.empty())
        cache.KeepPage(recipe, {std::move(sources), ReadWhole(archivePath)});
}

} // namespace zel::service
