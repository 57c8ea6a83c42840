#include "PageMaker.h"

#include "Fetcher.h"
#include "PageError.h"
#include "PageJob.h"

#include <memory>
#include <new>

namespace zel::service {

PageOutcome MakePage(const PageRequest& request, const PageLimits& limits,
                     const std::string& archivePath,
                     const std::function<void(std::int64_t bytes)>& onFetched) {
    PageOutcome outcome;
    std::unique_ptr<Fetcher> fetcher;
    try {
        fetcher = std::make_unique<Fetcher>(limits, onFetched);
        PageJob job(request, limits, *fetcher);
        const PageArchive archive = job.Make();
        {
            const StageClock::Scope packing(&job.Clock(), Stage::Pack);
            outcome.archiveBytes = archive.WriteTo(archivePath);
        }
        outcome.stages = job.Clock().Times();
        outcome.ok = true;
    } catch (const PageError& error) {
        outcome.error = error.what();
    } catch (const std::bad_alloc&) {
        outcome.error = kOutOfMemory;
    } catch (const std::exception&) {
        outcome.error = "Page could not be made";
    }
    if (fetcher)
        outcome.pageBytes = fetcher->WireBytes();
    return outcome;
}

} // namespace zel::service
