#include "SharedCache.h"

#include "ContentHash.h"
#include "HttpFreshness.h"
#include "PageError.h"

#include <charconv>
#include <utility>
#include <vector>

namespace zel::service {
namespace {

// Keys name their kind and the layout of their value, so a service that
// reads another way never takes an old value for its own.
constexpr char kRecordKey[] = "zel1:url:";
constexpr char kBodyKey[] = "zel1:body:";
constexpr char kMadeKey[] = "zel1:made:";
constexpr char kPageKey[] = "zel1:page:";

// Fields as "<length>:<bytes>", one after another.
std::string Pack(const std::vector<std::string>& fields) {
    std::string text;
    for (const std::string& field : fields)
        text += std::to_string(field.size()) + ":" + field;
    return text;
}

std::optional<std::vector<std::string>> UnpackAll(std::string_view text) {
    std::vector<std::string> fields;
    while (!text.empty()) {
        const auto colon = text.find(':');
        std::size_t size = 0;
        const auto [end, error] = std::from_chars(text.data(), text.data() + colon, size);
        if (colon == std::string_view::npos || error != std::errc() || end != text.data() + colon ||
            size > text.size() - colon - 1)
            return std::nullopt;
        fields.emplace_back(text.substr(colon + 1, size));
        text.remove_prefix(colon + 1 + size);
    }
    return fields;
}

std::optional<std::vector<std::string>> Unpack(std::string_view text, std::size_t count) {
    auto fields = UnpackAll(text);
    if (!fields || fields->size() != count)
        return std::nullopt;
    return fields;
}

std::int64_t Number(const std::string& text) {
    std::int64_t value = 0;
    std::from_chars(text.data(), text.data() + text.size(), value);
    return value;
}

// An address with a user name and password is that user's alone.
bool HasUserInfo(const std::string& url) {
    const auto scheme = url.find("://");
    const auto start = scheme == std::string::npos ? 0 : scheme + 3;
    const auto end = url.find_first_of("/?#", start);
    return url.substr(start, end == std::string::npos ? end : end - start).find('@') !=
           std::string::npos;
}

// What a job reads of a response: its body (by hash) and head.
std::string Fingerprint(const FetchResult& response) {
    if (!IsForEveryUser(response))
        return {};
    const std::string body =
        response.contentHash.empty() ? ContentHash(response.body) : response.contentHash;
    return ContentHash(
        Pack({body, std::to_string(response.status), response.contentType, response.charset,
              response.finalUrl, response.noTransform ? "1" : "0"}));
}

} // namespace

bool FailsAlike(FailureKind kind) {
    return kind == FailureKind::AddressRefused || kind == FailureKind::OriginUnreachable;
}

// What is kept of an origin response besides its body.
struct SharedCache::Record {
    FetchResult head; // without body
    std::int64_t freshUntil = 0;

    static constexpr std::size_t kFields = 10;
    std::string Packed() const {
        return Pack({head.contentHash, std::to_string(head.status), head.contentType, head.charset,
                     head.finalUrl, head.noTransform ? "1" : "0", head.caching.etag,
                     head.caching.lastModified, std::to_string(freshUntil),
                     std::to_string(head.wireBytes)});
    }
    static std::optional<Record> Unpacked(const std::string& text) {
        const auto f = Unpack(text, kFields);
        if (!f || (*f)[0].empty())
            return std::nullopt;
        Record record;
        FetchResult& head = record.head;
        head.contentHash = (*f)[0];
        head.status = long(Number((*f)[1]));
        head.contentType = (*f)[2];
        head.charset = (*f)[3];
        head.finalUrl = (*f)[4];
        head.noTransform = (*f)[5] == "1";
        head.caching.etag = (*f)[6];
        head.caching.lastModified = (*f)[7];
        record.freshUntil = Number((*f)[8]);
        head.wireBytes = Number((*f)[9]);
        return record;
    }
};

SharedCache::SharedCache(std::unique_ptr<CacheStore> store) : store_(std::move(store)) {}

std::optional<SharedCache::Record> SharedCache::FindRecord(const std::string& url) {
    const auto packed = store_.Get(kRecordKey + url);
    return packed ? Record::Unpacked(*packed) : std::nullopt;
}

FetchResult SharedCache::Fetch(const std::string& url, const Transfer& transfer, std::int64_t now) {
    fetched_.push_back({url, {}}); // stays without a fingerprint when the fetch throws
    const bool anyUser = store_.On() && !HasUserInfo(url);
    FetchResult result;
    try {
        result = anyUser ? FetchKept(url, transfer, now) : transfer({});
    } catch (const PageError& error) {
        if (anyUser && FailsAlike(error.Kind()))
            fetched_.back().fingerprint = "failed:" + std::to_string(int(error.Kind()));
        throw;
    }
    if (anyUser)
        fetched_.back().fingerprint = Fingerprint(result);
    return result;
}

FetchResult SharedCache::FetchKept(const std::string& url, const Transfer& transfer,
                                   std::int64_t now) {
    std::optional<Record> record = FindRecord(url);
    std::optional<std::string> body;
    if (record && skipKeptBodies_) {
        body.emplace();
    } else if (record) {
        body = store_.Get(kBodyKey + record->head.contentHash);
        // A body that is not what the record names is damaged: not served.
        if (body && ContentHash(*body) != record->head.contentHash)
            body.reset();
    }
    if (!body)
        record.reset();
    if (record && record->freshUntil > now) {
        FetchResult kept = std::move(record->head);
        kept.body = std::move(*body);
        kept.fromCache = true;
        return kept;
    }
    const Validators validators =
        record ? Validators{record->head.caching.etag, record->head.caching.lastModified}
               : Validators{};
    FetchResult fetched = transfer(validators);
    if (fetched.status == 304 && record && fetched.finalUrl == record->head.finalUrl) {
        // Unchanged: the kept body with the freshness the origin gives now.
        const ResponseCaching caching = fetched.caching;
        fetched = std::move(record->head);
        fetched.body = std::move(*body);
        fetched.fromCache = true;
        fetched.caching.cacheControl = caching.cacheControl;
        fetched.caching.pragma = caching.pragma;
        fetched.caching.expires = caching.expires;
        fetched.caching.date = caching.date;
        fetched.caching.age = caching.age;
        fetched.caching.sentCredentials = caching.sentCredentials;
        fetched.caching.setsCookie = caching.setsCookie;
    } else if (fetched.status == 304) {
        return transfer({}); // an answer to validators that were not sent
    }
    Keep(url, fetched, now);
    return fetched;
}

void SharedCache::Keep(const std::string& url, FetchResult& response, std::int64_t now) {
    if (!IsShareable(response))
        return;
    Record record;
    // A redirect may lead elsewhere next time: always asked again.
    record.freshUntil = response.finalUrl == url ? FreshUntil(response.caching, now) : now;
    if (record.freshUntil <= now && response.caching.etag.empty() &&
        response.caching.lastModified.empty())
        return; // could be neither served nor revalidated
    if (response.contentHash.empty())
        response.contentHash = ContentHash(response.body);
    if (!response.fromCache)
        store_.Put(kBodyKey + response.contentHash, response.body);
    record.head = response;
    record.head.body.clear();
    store_.Put(kRecordKey + url, record.Packed());
}

std::optional<SharedCache::Made> SharedCache::FindMade(const std::string& recipe,
                                                       const std::string& contentHash) {
    const auto packed = store_.Get(kMadeKey + recipe + ":" + contentHash);
    const auto fields = packed ? Unpack(*packed, 2) : std::nullopt;
    if (!fields)
        return std::nullopt;
    return Made{std::move((*fields)[0]), std::move((*fields)[1])};
}

void SharedCache::KeepMade(const std::string& recipe, const std::string& contentHash,
                           const Made& made) {
    store_.Put(kMadeKey + recipe + ":" + contentHash, Pack({made.bytes, made.extension}));
}

std::vector<SharedCache::Source> SharedCache::TakeFetched() {
    return std::exchange(fetched_, {});
}

// A page is its archive's hash followed by each source's address and
// fingerprint; the archive is kept as a body.
std::optional<SharedCache::Page> SharedCache::FindPage(const std::string& recipe) {
    const auto packed = store_.Get(kPageKey + ContentHash(recipe));
    const auto fields = packed ? UnpackAll(*packed) : std::nullopt;
    if (!fields || fields->size() % 2 != 1)
        return std::nullopt;
    Page page;
    for (std::size_t i = 1; i < fields->size(); i += 2)
        page.sources.push_back({(*fields)[i], (*fields)[i + 1]});
    auto archive = store_.Get(kBodyKey + fields->front());
    if (!archive || ContentHash(*archive) != fields->front())
        return std::nullopt;
    page.archive = std::move(*archive);
    return page;
}

void SharedCache::KeepPage(const std::string& recipe, const Page& page) {
    std::vector<std::string> fields{ContentHash(page.archive)};
    for (const Source& source : page.sources) {
        if (source.fingerprint.empty())
            return;
        fields.push_back(source.url);
        fields.push_back(source.fingerprint);
    }
    store_.Put(kBodyKey + fields.front(), page.archive);
    store_.Put(kPageKey + ContentHash(recipe), Pack(fields));
}

} // namespace zel::service
