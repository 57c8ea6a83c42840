#pragma once
// The service's care of its cache, run now and then: trims the folder to its
// bound and checks that the store answers, telling once when it stops and
// once when it works again (the jobs take its failures as misses, silently).

#include "CacheSettings.h"

#include <functional>
#include <string>

namespace zel::service {

class CacheUpkeep {
public:
    using Tell = std::function<void(const std::string& line)>;
    CacheUpkeep(CacheSettings settings, Tell tell);

    // What the cache is, for the service's start-up lines.
    std::string Description() const;
    void Run();

private:
    CacheSettings settings_;
    Tell tell_;
    bool down_ = false;
};

} // namespace zel::service
