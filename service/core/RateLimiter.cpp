#include "RateLimiter.h"

namespace zel::service {

RateLimiter::RateLimiter(int limit, std::chrono::seconds window) : limit_(limit), window_(window) {}

bool RateLimiter::Allow(const std::string& key, Clock::time_point now) {
    std::lock_guard lock(mutex_);
    Forget(now);
    auto& times = events_[key];
    while (!times.empty() && times.front() <= now - window_)
        times.pop_front();
    if (static_cast<int>(times.size()) >= limit_)
        return false;
    times.push_back(now);
    return true;
}

// Drops keys whose events are all out of the window, once a window, so the
// map does not grow with every address ever seen.
void RateLimiter::Forget(Clock::time_point now) {
    if (now - lastForget_ < window_)
        return;
    lastForget_ = now;
    std::erase_if(events_, [&](const auto& entry) {
        return entry.second.empty() || entry.second.back() <= now - window_;
    });
}

} // namespace zel::service
