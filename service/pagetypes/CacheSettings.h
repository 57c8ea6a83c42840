#pragma once
// Where page jobs keep what they made: a folder on this machine, a cache
// server several machines share, or nowhere.

#include <cstdint>
#include <string>

namespace zel::service {

struct CacheSettings {
    std::string server;                      // redis://host:port; wins over the folder
    std::string folder;                      // empty (and no server): no cache
    std::int64_t bytes = 1LL << 30;          // the folder's bound
    std::int64_t maxEntryBytes = 16LL << 20; // larger values are not kept
    bool Off() const { return server.empty() && folder.empty(); }
};

} // namespace zel::service
