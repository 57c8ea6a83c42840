#include "MakePage.h"

#include "Fetcher.h"
#include "OpenCache.h"
#include "PageError.h"
#include "PageJob.h"
#include "PageReuse.h"
#include "SharedCache.h"

#include <memory>
#include <new>

namespace zel::service {

PageOutcome MakePage(const PageRequest& request, const PageLimits& limits,
                     const std::string& archivePath,
                     const std::function<void(std::int64_t bytes)>& onFetched) {
    if (auto kept = ServeKeptPage("/proc/self/exe", request, limits, archivePath, onFetched, {}))
        return *kept;
    return MakeNewPage(request, limits, archivePath, onFetched);
}

std::optional<PageOutcome> ServeKeptPage(const std::string& program, const PageRequest& request,
                                         const PageLimits& limits, const std::string& archivePath,
                                         const std::function<void(std::int64_t bytes)>& onFetched,
                                         const std::function<bool()>& stop) {
    try {
        SharedCache cache(OpenSharedStore(limits.cache));
        return ReusePage(cache, PageRecipe(request, limits, program), limits, archivePath,
                         onFetched, stop);
    } catch (const std::exception&) {
        return std::nullopt; // made anew, which tells of a failure that is the page's
    }
}

PageOutcome MakeNewPage(const PageRequest& request, const PageLimits& limits,
                        const std::string& archivePath,
                        const std::function<void(std::int64_t bytes)>& onFetched) {
    PageOutcome outcome;
    std::unique_ptr<SharedCache> cache;
    std::unique_ptr<Fetcher> fetcher;
    try {
        cache = std::make_unique<SharedCache>(OpenSharedStore(limits.cache));
        const std::string recipe = PageRecipe(request, limits);
        fetcher = std::make_unique<Fetcher>(limits, onFetched);
        fetcher->UseCache(cache.get());
        PageJob job(request, limits, *fetcher, cache.get());
        const PageArchive archive = job.Make();
        {
            const StageClock::Scope packing(&job.Clock(), Stage::Pack);
            outcome.archiveBytes = archive.WriteTo(archivePath);
            if (job.Complete())
                KeepPage(*cache, recipe, archivePath);
        }
        outcome.stages = job.Clock().Times();
        outcome.ok = true;
    } catch (const PageError& error) {
        outcome.failure = error.Kind();
        outcome.detail = error.what();
    } catch (const std::bad_alloc&) {
        outcome.failure = FailureKind::OutOfMemory;
    } catch (const std::exception& error) {
        outcome.failure = FailureKind::JobFailed;
        outcome.detail = error.what();
    }
    if (fetcher)
        outcome.pageBytes = fetcher->WireBytes();
    return outcome;
}

} // namespace zel::service
