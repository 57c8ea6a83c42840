#pragma once
// The cache several machines share: a Redis server, reached over one
// connection with a short time-out, so a slow or lost server costs a
// moment, not a page. The server bounds its memory itself (maxmemory with
// an LRU policy); entries also expire after a week.

#include "CacheStore.h"

#include <cstdint>
#include <memory>

struct redisContext;

namespace zel::service {

class RedisCache : public CacheStore {
public:
    // Connects at once; throws CacheFailure when the server does not answer.
    RedisCache(const std::string& host, int port, std::int64_t maxEntryBytes);
    ~RedisCache() override;

    std::optional<std::string> Get(const std::string& key) override;
    void Put(const std::string& key, const std::string& value) override;

private:
    struct Free {
        void operator()(redisContext* context) const;
    };
    std::unique_ptr<redisContext, Free> context_;
    std::int64_t maxEntryBytes_;
};

} // namespace zel::service
