#pragma once
// A cache store whose failures are misses: the first one turns the store off
// for the rest of this process (a job), so a server that is down or slow
// costs one time-out, and is told once. Threads of a job may share it.

#include "CacheStore.h"

#include <functional>
#include <memory>
#include <mutex>

namespace zel::service {

class SafeCache {
public:
    using OnFailure = std::function<void(const std::string& what)>;
    // A null store: no cache.
    explicit SafeCache(std::unique_ptr<CacheStore> store, OnFailure onFailure = {});

    bool On() const;
    std::optional<std::string> Get(const std::string& key);
    void Put(const std::string& key, const std::string& value);

private:
    void Fail(const std::exception& failure);

    mutable std::mutex mutex_;
    std::unique_ptr<CacheStore> store_;
    OnFailure onFailure_;
};

} // namespace zel::service
