#pragma once
// The cache of one machine: a file per entry in a folder (two-level, named
// by a hash of the key). An entry is written to a temporary file and renamed,
// and carries its key, length and checksum, so a crash or a damaged file is
// a miss, never a wrong value. Reading an entry marks it used; Trim removes
// the least recently used down to the bound. Nothing is written where it
// would leave less than 64 MiB free: the archives come first. Several
// processes may share it.

#include "CacheStore.h"

#include <cstdint>
#include <filesystem>

namespace zel::service {

class DiskCache : public CacheStore {
public:
    DiskCache(std::filesystem::path folder, std::int64_t maxEntryBytes);

    std::optional<std::string> Get(const std::string& key) override;
    void Put(const std::string& key, const std::string& value) override;

    // Removes the least recently used entries until at most 90% of
    // `maxBytes` is left, and temporary files a crash left behind.
    // Returns the bytes kept.
    std::int64_t Trim(std::int64_t maxBytes);

private:
    std::filesystem::path PathOf(const std::string& key) const;

    std::filesystem::path folder_;
    std::int64_t maxEntryBytes_;
};

} // namespace zel::service
