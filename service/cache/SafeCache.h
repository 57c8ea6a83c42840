#pragma once
// A cache store whose failures are misses: the first one turns the store off
// for the rest of this process (a job), so a server that is down or slow
// costs one time-out, and is told once.

#include "CacheStore.h"

#include <functional>
#include <memory>

namespace zel::service {

class SafeCache {
public:
    using OnFailure = std::function<void(const std::string& what)>;
    // A null store: no cache.
    explicit SafeCache(std::unique_ptr<CacheStore> store, OnFailure onFailure = {});

    bool On() const { return store_ != nullptr; }
    std::optional<std::string> Get(const std::string& key);
    void Put(const std::string& key, const std::string& value);

private:
    void Fail(const std::exception& failure);

    std::unique_ptr<CacheStore> store_;
    OnFailure onFailure_;
};

} // namespace zel::service
