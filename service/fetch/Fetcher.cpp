#include "Fetcher.h"

#include "AddressCheck.h"
#include "AsciiText.h"
#include "PageError.h"
#include "SharedCache.h"

#include <curl/curl.h>

#include <algorithm>
#include <ctime>
#include <mutex>

namespace zel::service {
namespace {

constexpr int kMaxRedirects = 5;
// Below this size a body is never taken for a decompression bomb.
constexpr std::int64_t kRatioFloorBytes = 1 << 20;
const char* kUserAgent = "Mozilla/5.0 (X11; Linux x86_64) zelservice/1.0";

std::string Trim(const std::string& text) {
    const auto begin = text.find_first_not_of(" \t\r\n");
    if (begin == std::string::npos)
        return {};
    const auto end = text.find_last_not_of(" \t\r\n");
    return text.substr(begin, end - begin + 1);
}

void InitCurlOnce() {
    static std::once_flag once;
    std::call_once(once, [] { curl_global_init(CURL_GLOBAL_DEFAULT); });
}

} // namespace

// What one transfer collects, and why it stopped early.
struct Fetcher::State {
    CURL* curl = nullptr;
    int maxDecodedRatio = 0;
    std::function<void(std::int64_t)> onWireBytes;
    AddressPolicy allowAddress;
    std::int64_t wireBytes = 0; // of every transfer so far

    FetchResult result;
    std::int64_t maxBody = 0;
    std::int64_t reportedThisTransfer = 0; // wire bytes of this transfer already counted
    std::int64_t lastDownloaded = 0;       // body bytes of the current response
    std::int64_t earlierBodies = 0;        // body bytes of responses redirected from
    bool refused = false;
    bool tooBig = false;
    bool inflated = false;
    bool outOfMemory = false;
    bool encoded = false;              // the current response has a Content-Encoding
    curl_slist* conditional = nullptr; // the request's validators

    ~State() { curl_slist_free_all(conditional); }

    void Count(std::int64_t transferWire) {
        if (transferWire <= reportedThisTransfer)
            return;
        const std::int64_t delta = transferWire - reportedThisTransfer;
        reportedThisTransfer = transferWire;
        wireBytes += delta;
        if (onWireBytes)
            onWireBytes(delta);
    }
};

namespace {

using State = Fetcher::State;

std::int64_t InfoBytes(CURL* curl, CURLINFO info) {
    curl_off_t value = 0;
    curl_easy_getinfo(curl, info, &value);
    return value;
}

std::size_t OnBody(char* data, std::size_t size, std::size_t count, void* context) {
    auto* state = static_cast<State*>(context);
    const std::size_t bytes = size * count;
    FetchResult& result = state->result;
    if (std::int64_t(result.body.size() + bytes) > state->maxBody) {
        state->tooBig = true;
        return 0;
    }
    // No exception may pass through libcurl's C frames.
    try {
        result.body.append(data, bytes);
    } catch (const std::bad_alloc&) {
        state->outOfMemory = true;
        return 0;
    }
    // libcurl's download counter counts the bytes as they came (still
    // compressed), the body here is decoded: their ratio tells a bomb.
    const std::int64_t raw =
        std::max<std::int64_t>(1, InfoBytes(state->curl, CURLINFO_SIZE_DOWNLOAD_T));
    // A body sent as it is cannot be a bomb, and the counter lags behind it.
    const std::int64_t decoded = std::int64_t(result.body.size());
    if (state->encoded && decoded > kRatioFloorBytes && decoded / raw > state->maxDecodedRatio) {
        state->inflated = true;
        return 0;
    }
    return bytes;
}

void Append(std::string& list, const std::string& value) {
    list += list.empty() ? value : "," + value;
}

void KeepCachingHeader(ResponseCaching& caching, const std::string& name, const std::string& raw) {
    if (name == "cache-control")
        Append(caching.cacheControl, Lower(raw));
    else if (name == "pragma")
        Append(caching.pragma, Lower(raw));
    else if (name == "vary")
        Append(caching.vary, Lower(raw));
    else if (name == "set-cookie" || name == "set-cookie2")
        caching.setsCookie = true;
    else if (name == "etag")
        caching.etag = raw;
    else if (name == "last-modified")
        caching.lastModified = raw;
    else if (name == "expires")
        caching.expires = raw;
    else if (name == "date")
        caching.date = raw;
    else if (name == "age")
        caching.age = raw;
}

std::size_t OnHeader(char* data, std::size_t size, std::size_t count, void* context) {
    auto* state = static_cast<State*>(context);
    const std::size_t bytes = size * count;
    const std::string line(data, bytes);
    if (line.rfind("HTTP/", 0) == 0) {
        // A new response (after a redirect): only the last one's headers count.
        state->result.noTransform = false;
        state->encoded = false;
        // What ties the chain to this job holds for all of it.
        ResponseCaching& caching = state->result.caching;
        ResponseCaching next;
        next.setsCookie = caching.setsCookie;
        next.sentCredentials = caching.sentCredentials;
        caching = std::move(next);
        return bytes;
    }
    const auto colon = line.find(':');
    if (colon == std::string::npos)
        return bytes;
    const std::string name = Lower(Trim(line.substr(0, colon)));
    const std::string raw = Trim(line.substr(colon + 1));
    const std::string value = Lower(raw);
    if (name == "cache-control" && value.find("no-transform") != std::string::npos)
        state->result.noTransform = true;
    if (name == "content-encoding" && Trim(value) != "identity")
        state->encoded = true;
    KeepCachingHeader(state->result.caching, name, raw);
    return bytes;
}

// Whether a request of the transfer carried the job's cookies or a
// password: what it brought is not for other users.
int OnDebug(CURL*, curl_infotype type, char* data, std::size_t size, void* context) {
    if (type != CURLINFO_HEADER_OUT)
        return 0;
    const std::string head = Lower(std::string(data, size));
    if (head.find("\ncookie:") != std::string::npos ||
        head.find("\nauthorization:") != std::string::npos)
        static_cast<State*>(context)->result.caching.sentCredentials = true;
    return 0;
}

int OnProgress(void* context, curl_off_t, curl_off_t downloaded, curl_off_t, curl_off_t) {
    auto* state = static_cast<State*>(context);
    // The counter may start again at a redirect; what came before stays counted.
    if (downloaded < state->lastDownloaded)
        state->earlierBodies += state->lastDownloaded;
    state->lastDownloaded = downloaded;
    state->Count(state->earlierBodies + downloaded);
    return 0;
}

curl_socket_t OpenSocket(void* context, curlsocktype, curl_sockaddr* address) {
    auto* state = static_cast<State*>(context);
    if (!state->allowAddress(&address->addr)) {
        state->refused = true;
        return CURL_SOCKET_BAD;
    }
    return socket(address->family, address->socktype | SOCK_CLOEXEC, address->protocol);
}

void ParseContentType(const char* header, FetchResult& result) {
    if (header == nullptr)
        return;
    const std::string text = Lower(header);
    result.contentType = Trim(text.substr(0, text.find(';')));
    const auto charset = text.find("charset=");
    if (charset == std::string::npos)
        return;
    std::string value = text.substr(charset + 8);
    value = Trim(value.substr(0, value.find(';')));
    value.erase(std::remove(value.begin(), value.end(), '"'), value.end());
    value.erase(std::remove(value.begin(), value.end(), '\''), value.end());
    result.charset = value;
}

FailureKind KindOf(CURLcode code) {
    switch (code) {
    case CURLE_OPERATION_TIMEDOUT:
        return FailureKind::OriginTimeout;
    case CURLE_TOO_MANY_REDIRECTS:
        return FailureKind::TooManyRedirects;
    case CURLE_UNSUPPORTED_PROTOCOL:
    case CURLE_URL_MALFORMAT:
        return FailureKind::AddressRefused;
    case CURLE_PEER_FAILED_VERIFICATION:
    case CURLE_SSL_CONNECT_ERROR:
    case CURLE_SSL_CERTPROBLEM:
    case CURLE_SSL_CACERT_BADFILE:
        return FailureKind::SecureConnectionFailed;
    case CURLE_BAD_CONTENT_ENCODING:
        return FailureKind::Undecodable;
    case CURLE_OUT_OF_MEMORY:
        return FailureKind::OutOfMemory;
    default:
        return FailureKind::OriginUnreachable;
    }
}

PageError FetchError(CURLcode code, const State& state) {
    if (state.outOfMemory)
        return PageError(FailureKind::OutOfMemory, "out of memory");
    if (state.inflated)
        return PageError(FailureKind::Inflated, "decoded beyond its ratio");
    if (state.tooBig)
        return PageError(FailureKind::TooBig, "more bytes than allowed");
    if (state.refused)
        return PageError(FailureKind::AddressRefused, "address refused");
    return PageError(KindOf(code), curl_easy_strerror(code));
}

} // namespace

Fetcher::Fetcher(const PageLimits& limits, std::function<void(std::int64_t)> onWireBytes)
    : Fetcher(limits, std::move(onWireBytes),
              limits.allowPrivateOrigins ? AddressPolicy([](const sockaddr*) { return true; })
                                         : AddressPolicy(IsPublicAddress)) {}

Fetcher::Fetcher(const PageLimits& limits, std::function<void(std::int64_t)> onWireBytes,
                 AddressPolicy allowAddress)
    : state_(std::make_unique<State>()) {
    InitCurlOnce();
    state_->maxDecodedRatio = limits.maxDecodedRatio;
    state_->onWireBytes = std::move(onWireBytes);
    state_->allowAddress = std::move(allowAddress);
    CURL* curl = curl_easy_init();
    if (curl == nullptr)
        throw PageError(FailureKind::OutOfMemory, "no curl handle");
    state_->curl = curl;
    curl_easy_setopt(curl, CURLOPT_NOSIGNAL, 1L);
    curl_easy_setopt(curl, CURLOPT_PROTOCOLS_STR, "http,https");
    curl_easy_setopt(curl, CURLOPT_REDIR_PROTOCOLS_STR, "http,https");
    curl_easy_setopt(curl, CURLOPT_FOLLOWLOCATION, 1L);
    curl_easy_setopt(curl, CURLOPT_MAXREDIRS, long(kMaxRedirects));
    curl_easy_setopt(curl, CURLOPT_PROXY, ""); // never a proxy from the environment
    curl_easy_setopt(curl, CURLOPT_SSL_VERIFYPEER, 1L);
    curl_easy_setopt(curl, CURLOPT_SSL_VERIFYHOST, 2L);
    curl_easy_setopt(curl, CURLOPT_COOKIEFILE, ""); // a cookie jar in memory, for this job
    curl_easy_setopt(curl, CURLOPT_ACCEPT_ENCODING, "");
    curl_easy_setopt(curl, CURLOPT_BUFFERSIZE, kReceiveBufferBytes);
    curl_easy_setopt(curl, CURLOPT_USERAGENT, kUserAgent);
    curl_easy_setopt(curl, CURLOPT_CONNECTTIMEOUT, long(std::max(1, limits.connectTimeoutSeconds)));
    curl_easy_setopt(curl, CURLOPT_WRITEFUNCTION, OnBody);
    curl_easy_setopt(curl, CURLOPT_WRITEDATA, state_.get());
    curl_easy_setopt(curl, CURLOPT_HEADERFUNCTION, OnHeader);
    curl_easy_setopt(curl, CURLOPT_HEADERDATA, state_.get());
    curl_easy_setopt(curl, CURLOPT_XFERINFOFUNCTION, OnProgress);
    curl_easy_setopt(curl, CURLOPT_XFERINFODATA, state_.get());
    curl_easy_setopt(curl, CURLOPT_NOPROGRESS, 0L);
    curl_easy_setopt(curl, CURLOPT_OPENSOCKETFUNCTION, OpenSocket);
    curl_easy_setopt(curl, CURLOPT_OPENSOCKETDATA, state_.get());
    curl_easy_setopt(curl, CURLOPT_DEBUGFUNCTION, OnDebug);
    curl_easy_setopt(curl, CURLOPT_DEBUGDATA, state_.get());
    curl_easy_setopt(curl, CURLOPT_VERBOSE, 1L); // for OnDebug alone
}

Fetcher::~Fetcher() {
    curl_easy_cleanup(state_->curl);
}

std::int64_t Fetcher::WireBytes() const {
    return state_->wireBytes;
}

FetchResult Fetcher::Fetch(const std::string& url, std::int64_t maxBodyBytes, int timeoutSeconds,
                           const std::string& referer) {
    const auto transfer = [&](const Validators& validators) {
        return Transfer(url, maxBodyBytes, timeoutSeconds, referer, validators);
    };
    if (cache_ == nullptr)
        return transfer({});
    FetchResult result = cache_->Fetch(url, transfer, std::time(nullptr));
    if (result.fromCache) {
        if (std::int64_t(result.body.size()) > maxBodyBytes)
            throw PageError(FailureKind::TooBig, "more bytes than allowed");
        state_->wireBytes += result.wireBytes;
        if (state_->onWireBytes)
            state_->onWireBytes(result.wireBytes);
    }
    return result;
}

FetchResult Fetcher::Transfer(const std::string& url, std::int64_t maxBodyBytes, int timeoutSeconds,
                              const std::string& referer, const Validators& validators) {
    State& state = *state_;
    CURL* curl = state.curl;
    state.result = FetchResult{};
    state.maxBody = std::max<std::int64_t>(0, maxBodyBytes);
    state.reportedThisTransfer = 0;
    state.lastDownloaded = 0;
    state.earlierBodies = 0;
    state.refused = false;
    state.tooBig = false;
    state.inflated = false;
    state.outOfMemory = false;
    state.encoded = false;
    const std::int64_t before = state.wireBytes;
    curl_easy_setopt(curl, CURLOPT_URL, url.c_str());
    curl_easy_setopt(curl, CURLOPT_TIMEOUT, long(std::max(1, timeoutSeconds)));
    curl_easy_setopt(curl, CURLOPT_REFERER, referer.empty() ? nullptr : referer.c_str());
    curl_slist_free_all(state.conditional);
    state.conditional = nullptr;
    if (!validators.etag.empty())
        state.conditional =
            curl_slist_append(state.conditional, ("If-None-Match: " + validators.etag).c_str());
    if (!validators.lastModified.empty())
        state.conditional = curl_slist_append(
            state.conditional, ("If-Modified-Since: " + validators.lastModified).c_str());
    curl_easy_setopt(curl, CURLOPT_HTTPHEADER, state.conditional);

    const CURLcode code = curl_easy_perform(curl);
    // Headers of every response on the way (redirects too) and their bodies.
    long headerBytes = 0;
    curl_easy_getinfo(curl, CURLINFO_HEADER_SIZE, &headerBytes);
    state.Count(headerBytes + state.earlierBodies + InfoBytes(curl, CURLINFO_SIZE_DOWNLOAD_T));
    if (code != CURLE_OK)
        throw FetchError(code, state);

    FetchResult result = std::move(state.result);
    curl_easy_getinfo(curl, CURLINFO_RESPONSE_CODE, &result.status);
    const char* contentType = nullptr;
    curl_easy_getinfo(curl, CURLINFO_CONTENT_TYPE, &contentType);
    ParseContentType(contentType, result);
    const char* finalUrl = nullptr;
    curl_easy_getinfo(curl, CURLINFO_EFFECTIVE_URL, &finalUrl);
    result.finalUrl = finalUrl ? finalUrl : url;
    result.wireBytes = state.wireBytes - before;
    return result;
}

} // namespace zel::service
