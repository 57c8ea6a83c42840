#include "RedisCache.h"

#include <hiredis/hiredis.h>

namespace zel::service {
namespace {

constexpr timeval kConnectTimeout{0, 300'000};
constexpr timeval kCommandTimeout{0, 500'000};
constexpr int kKeepSeconds = 7 * 24 * 3600;

struct FreeReply {
    void operator()(redisReply* reply) const { freeReplyObject(reply); }
};
using Reply = std::unique_ptr<redisReply, FreeReply>;

} // namespace

void RedisCache::Free::operator()(redisContext* context) const {
    redisFree(context);
}

RedisCache::RedisCache(const std::string& host, int port, std::int64_t maxEntryBytes)
    : context_(redisConnectWithTimeout(host.c_str(), port, kConnectTimeout)),
      maxEntryBytes_(maxEntryBytes) {
    if (!context_ || context_->err != 0)
        throw CacheFailure("cache server " + host + ":" + std::to_string(port) + " unreachable");
    redisSetTimeout(context_.get(), kCommandTimeout);
}

RedisCache::~RedisCache() = default;

std::optional<std::string> RedisCache::Get(const std::string& key) {
    const Reply reply(
        static_cast<redisReply*>(redisCommand(context_.get(), "GET %b", key.data(), key.size())));
    if (!reply || reply->type == REDIS_REPLY_ERROR)
        throw CacheFailure("cache server failed");
    if (reply->type != REDIS_REPLY_STRING)
        return std::nullopt;
    return std::string(reply->str, reply->len);
}

void RedisCache::Put(const std::string& key, const std::string& value) {
    if (std::int64_t(value.size()) > maxEntryBytes_)
        return;
    const Reply reply(static_cast<redisReply*>(redisCommand(context_.get(), "SET %b %b EX %d",
                                                            key.data(), key.size(), value.data(),
                                                            value.size(), kKeepSeconds)));
    // A full server (maxmemory without eviction) answers an error: a miss later.
    if (!reply)
        throw CacheFailure("cache server failed");
}

} // namespace zel::service
