#pragma once
// One origin response as the page job uses it, with what its headers say
// about keeping it for other users: the fetcher fills it, the shared cache
// keeps and revalidates it.

#include <cstdint>
#include <string>

namespace zel::service {

// The caching headers of the last response of a redirect chain, and what
// ties any response of the chain to the requester.
struct ResponseCaching {
    std::string cacheControl; // every Cache-Control line, lower case, joined with ','
    std::string pragma;       // lower case
    std::string expires;
    std::string date;
    std::string age;
    std::string etag; // validators, as sent
    std::string lastModified;
    std::string vary;             // lower case
    bool setsCookie = false;      // a response of the chain set a cookie
    bool sentCredentials = false; // a request of the chain carried a cookie or authorization
};

// What a conditional request asks to be told has not changed.
struct Validators {
    std::string etag;
    std::string lastModified;
    bool Empty() const { return etag.empty() && lastModified.empty(); }
};

struct FetchResult {
    long status = 0;
    std::string body;         // decoded
    std::string contentType;  // lower case, without parameters
    std::string charset;      // from the Content-Type header, if any
    std::string finalUrl;     // after redirects: the base for what the body refers to
    bool noTransform = false; // Cache-Control: no-transform
    ResponseCaching caching;
    std::string contentHash;    // of the body, once known (empty: not yet computed)
    std::int64_t wireBytes = 0; // what the transfer that brought the body took
    bool fromCache = false;     // the body came from the shared cache
};

} // namespace zel::service
