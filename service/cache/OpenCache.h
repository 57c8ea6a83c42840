#pragma once
// The store that cache settings name.

#include "CacheSettings.h"
#include "CacheStore.h"

#include <memory>

namespace zel::service {

struct CacheServer {
    std::string host;
    int port = 6379;
};

// "redis://host[:port]"; throws std::invalid_argument for anything else.
CacheServer ParseCacheServer(const std::string& address);

// The server's or the folder's store; null when the settings name none.
// Throws CacheFailure when it cannot be reached.
std::unique_ptr<CacheStore> OpenCache(const CacheSettings& settings);

// The same for a job: a store that cannot be reached is no store (null).
std::unique_ptr<CacheStore> OpenSharedStore(const CacheSettings& settings);

} // namespace zel::service
