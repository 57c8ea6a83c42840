#pragma once
// Counts events per key in a sliding time window: at most `limit` events a
// key within `window`. Used to limit login requests per e-mail address and
// per client address.

#include <chrono>
#include <deque>
#include <map>
#include <mutex>
#include <string>

namespace zel::service {

class RateLimiter {
public:
    using Clock = std::chrono::steady_clock;
    RateLimiter(int limit, std::chrono::seconds window);
    // Counts an event for `key` and tells whether it is within the limit.
    // Refused events are not counted.
    bool Allow(const std::string& key, Clock::time_point now = Clock::now());

private:
    void Forget(Clock::time_point now);

    const int limit_;
    const std::chrono::seconds window_;
    std::mutex mutex_;
    std::map<std::string, std::deque<Clock::time_point>> events_;
    Clock::time_point lastForget_{};
};

} // namespace zel::service
