#pragma once
// What page jobs share through a cache store:
// - origin responses by address: the body (kept by its content hash) with
//   its validators and freshness. A fresh one is served without asking the
//   origin, a stale one is revalidated with a conditional request, and only
//   responses every user would get are kept (see IsShareable);
// - what was made of a body (a recompressed image, a re-encoded font) by its
//   content hash and a recipe naming all that shaped it. Equal bytes make
//   the same result for anyone, so this holds whoever fetched them;
// - finished pages by a recipe, with a fingerprint of each response they
//   were made of, so a page whose responses are all unchanged is served
//   again as it was made.
// A store that fails is a miss (SafeCache).

#include "FailureKind.h"
#include "FetchResult.h"
#include "SafeCache.h"

#include <functional>
#include <vector>

namespace zel::service {

// A fetch failure that comes at once and alike for every user: an address
// the fetcher refuses (a scheme it does not speak, a special address), a
// host that has no address or takes no connection. A page made with it is
// made again alike while the address fails alike.
bool FailsAlike(FailureKind kind);

class SharedCache {
public:
    // A null store: no cache; its failures are misses (SafeCache).
    explicit SharedCache(std::unique_ptr<CacheStore> store);

    // Fetches through `transfer` (which sends `Validators` as a conditional
    // request) unless a fresh response is kept; `now` in seconds since the
    // epoch. A result from the store has fromCache set.
    using Transfer = std::function<FetchResult(const Validators&)>;
    FetchResult Fetch(const std::string& url, const Transfer& transfer, std::int64_t now);

    // While on, a kept response comes without its body, which is neither
    // read nor checked: for a check of what a page was made of, which needs
    // only each response's fingerprint.
    void SkipKeptBodies(bool skip) { skipKeptBodies_ = skip; }

    struct Made {
        std::string bytes;
        std::string extension;
    };
    // `recipe` names the step, its version and every setting that shaped
    // the result; `contentHash` the bytes it was made from.
    std::optional<Made> FindMade(const std::string& recipe, const std::string& contentHash);
    void KeepMade(const std::string& recipe, const std::string& contentHash, const Made& made);

    // A response fetched through this cache: its address and a fingerprint
    // of its body and of all a job reads of its head, or of how it failed
    // when it failed at once (refused, unreachable); empty when the response
    // is not the same for every user or the fetch failed otherwise.
    struct Source {
        std::string url;
        std::string fingerprint;
        bool operator==(const Source&) const = default;
    };
    // The responses fetched since the last call, in order.
    std::vector<Source> TakeFetched();

    struct Page {
        std::vector<Source> sources;
        std::string archive;
    };
    std::optional<Page> FindPage(const std::string& recipe);
    // Kept only when every source has a fingerprint.
    void KeepPage(const std::string& recipe, const Page& page);

private:
    struct Record;
    std::optional<Record> FindRecord(const std::string& url);
    FetchResult FetchKept(const std::string& url, const Transfer& transfer, std::int64_t now);
    void Keep(const std::string& url, FetchResult& response, std::int64_t now);

    SafeCache store_;
    std::vector<Source> fetched_;
    bool skipKeptBodies_ = false;
};

} // namespace zel::service
