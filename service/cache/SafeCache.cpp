#include "SafeCache.h"

#include <new>

namespace zel::service {

SafeCache::SafeCache(std::unique_ptr<CacheStore> store, OnFailure onFailure)
    : store_(std::move(store)), onFailure_(std::move(onFailure)) {}

bool SafeCache::On() const {
    std::lock_guard lock(mutex_);
    return store_ != nullptr;
}

void SafeCache::Fail(const std::exception& failure) {
    store_.reset();
    if (onFailure_)
        onFailure_(failure.what());
}

std::optional<std::string> SafeCache::Get(const std::string& key) {
    std::lock_guard lock(mutex_);
    if (!store_)
        return std::nullopt;
    try {
        return store_->Get(key);
    } catch (const std::bad_alloc&) {
        throw;
    } catch (const std::exception& failure) {
        Fail(failure);
        return std::nullopt;
    }
}

void SafeCache::Put(const std::string& key, const std::string& value) {
    std::lock_guard lock(mutex_);
    if (!store_)
        return;
    try {
        store_->Put(key, value);
    } catch (const std::bad_alloc&) {
        throw;
    } catch (const std::exception& failure) {
        Fail(failure);
    }
}

} // namespace zel::service
