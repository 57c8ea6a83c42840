#pragma once
// What page jobs share through a cache store:
// - origin responses by address: the body (kept by its content hash) with
//   its validators and freshness. A fresh one is served without asking the
//   origin, a stale one is revalidated with a conditional request, and only
//   responses every user would get are kept (see IsShareable);
// - what was made of a body (a recompressed image, a re-encoded font) by its
//   content hash and a recipe naming all that shaped it. Equal bytes make
//   the same result for anyone, so this holds whoever fetched them.
// A store that fails is a miss (SafeCache).

#include "FetchResult.h"
#include "SafeCache.h"

#include <functional>

namespace zel::service {

class SharedCache {
public:
    // A null store: no cache; its failures are misses (SafeCache).
    explicit SharedCache(std::unique_ptr<CacheStore> store);

    // Fetches through `transfer` (which sends `Validators` as a conditional
    // request) unless a fresh response is kept; `now` in seconds since the
    // epoch. A result from the store has fromCache set.
    using Transfer = std::function<FetchResult(const Validators&)>;
    FetchResult Fetch(const std::string& url, const Transfer& transfer, std::int64_t now);

    struct Made {
        std::string bytes;
        std::string extension;
    };
    // `recipe` names the step, its version and every setting that shaped
    // the result; `contentHash` the bytes it was made from.
    std::optional<Made> FindMade(const std::string& recipe, const std::string& contentHash);
    void KeepMade(const std::string& recipe, const std::string& contentHash, const Made& made);

private:
    struct Record;
    std::optional<Record> FindRecord(const std::string& url);
    void Keep(const std::string& url, FetchResult& response, std::int64_t now);

    SafeCache store_;
};

} // namespace zel::service
