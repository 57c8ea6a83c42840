#pragma once
// Fetches the page and its resources over one libcurl handle per job: http and
// https only (also when redirected), TLS verified, its own cookie jar, no proxy
// from the environment, compressed transfers decoded. Refuses to connect to
// special addresses (checked on every address actually connected to, so
// redirects and name tricks cannot reach them) and counts the bytes that came
// over the wire. Through a shared cache, when given one, it asks origins only
// for what is not kept fresh there.

#include "FetchResult.h"
#include "PageLimits.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <sys/socket.h>

namespace zel::service {

class SharedCache;

class Fetcher {
public:
    // `allowAddress` decides for every address before connecting to it.
    using AddressPolicy = std::function<bool(const sockaddr*)>;

    Fetcher(const PageLimits& limits, std::function<void(std::int64_t)> onWireBytes);
    Fetcher(const PageLimits& limits, std::function<void(std::int64_t)> onWireBytes,
            AddressPolicy allowAddress);
    ~Fetcher();
    Fetcher(const Fetcher&) = delete;
    Fetcher& operator=(const Fetcher&) = delete;

    // Fetches `url`; a decoded body beyond `maxBodyBytes` fails the fetch.
    // `timeoutSeconds` bounds the whole transfer. Throws PageError.
    FetchResult Fetch(const std::string& url, std::int64_t maxBodyBytes, int timeoutSeconds,
                      const std::string& referer = {});

    // Fetches through `cache` from now on (null: straight from the origins).
    void UseCache(SharedCache* cache) { cache_ = cache; }

    // Bytes received from origins so far: headers and bodies as sent.
    // A transfer cut off at its limit has received at most one buffer
    // beyond it, and those bytes count too: they did come. A response from
    // the cache counts what it took when it came, as the page's real size.
    std::int64_t WireBytes() const;

    static constexpr long kReceiveBufferBytes = 16 * 1024;

    // The transfer's working state; defined where the callbacks live.
    struct State;

private:
    FetchResult Transfer(const std::string& url, std::int64_t maxBodyBytes, int timeoutSeconds,
                         const std::string& referer, const Validators& validators);

    std::unique_ptr<State> state_;
    SharedCache* cache_ = nullptr;
};

} // namespace zel::service
