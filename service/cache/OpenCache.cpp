#include "OpenCache.h"

#include "DiskCache.h"
#include "RedisCache.h"

#include <charconv>

namespace zel::service {

CacheServer ParseCacheServer(const std::string& address) {
    constexpr std::string_view kScheme = "redis://";
    const auto refuse = [&] {
        return std::invalid_argument("--cache-server takes redis://host[:port], not '" + address +
                                     "'");
    };
    if (!address.starts_with(kScheme))
        throw refuse();
    std::string rest = address.substr(kScheme.size());
    if (!rest.empty() && rest.back() == '/')
        rest.pop_back();
    CacheServer server;
    const auto colon = rest.rfind(':');
    server.host = rest.substr(0, colon);
    if (colon != std::string::npos) {
        const char* end = rest.data() + rest.size();
        const auto [at, error] = std::from_chars(rest.data() + colon + 1, end, server.port);
        if (error != std::errc() || at != end || server.port < 1 || server.port > 65535)
            throw refuse();
    }
    if (server.host.empty() || server.host.find_first_of("/@?#") != std::string::npos)
        throw refuse();
    return server;
}

std::unique_ptr<CacheStore> OpenCache(const CacheSettings& settings) {
    if (!settings.server.empty()) {
        const CacheServer server = ParseCacheServer(settings.server);
        return std::make_unique<RedisCache>(server.host, server.port, settings.maxEntryBytes);
    }
    if (!settings.folder.empty())
        return std::make_unique<DiskCache>(settings.folder, settings.maxEntryBytes);
    return nullptr;
}

std::unique_ptr<CacheStore> OpenSharedStore(const CacheSettings& settings) {
    try {
        return OpenCache(settings);
    } catch (const CacheFailure&) {
        return nullptr;
    } catch (const std::invalid_argument&) {
        return nullptr;
    }
}

} // namespace zel::service
