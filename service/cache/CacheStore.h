#pragma once
// A store of byte strings by key that other jobs, processes or machines may
// share: the service keeps what it made and what origins sent in it.

#include <optional>
#include <stdexcept>
#include <string>

namespace zel::service {

// The store cannot be reached or written; callers take it as a miss.
class CacheFailure : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

class CacheStore {
public:
    virtual ~CacheStore() = default;
    // The value kept under `key`; nothing on a miss. Throws CacheFailure.
    virtual std::optional<std::string> Get(const std::string& key) = 0;
    // Keeps `value` under `key` (a store may drop it, e.g. when too big).
    // Throws CacheFailure.
    virtual void Put(const std::string& key, const std::string& value) = 0;
};

} // namespace zel::service
