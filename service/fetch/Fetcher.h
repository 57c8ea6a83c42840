#pragma once
// Fetches the page and its resources over one libcurl handle per job: http and
// https only (also when redirected), TLS verified, its own cookie jar, no proxy
// from the environment, compressed transfers decoded. Refuses to connect to
// special addresses (checked on every address actually connected to, so
// redirects and name tricks cannot reach them) and counts the bytes that came
// over the wire.

#include "PageLimits.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <sys/socket.h>

namespace zel::service {

struct FetchResult {
    long status = 0;
    std::string body;         // decoded
    std::string contentType;  // lower case, without parameters
    std::string charset;      // from the Content-Type header, if any
    std::string finalUrl;     // after redirects: the base for what the body refers to
    bool noTransform = false; // Cache-Control: no-transform
};

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

    // Bytes received from origins so far: headers and bodies as sent.
    // A transfer cut off at its limit has received at most one buffer
    // beyond it, and those bytes count too: they did come.
    std::int64_t WireBytes() const;

    static constexpr long kReceiveBufferBytes = 16 * 1024;

    // The transfer's working state; defined where the callbacks live.
    struct State;

private:
    std::unique_ptr<State> state_;
};

} // namespace zel::service
