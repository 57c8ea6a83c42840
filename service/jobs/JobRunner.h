#pragma once
// Runs one page job to its end. The service's own runner makes the page in
// a child process with limits; tests put a double in its place.

#include "PageTypes.h"

#include <atomic>
#include <cstdint>
#include <functional>
#include <string>

namespace zel::service {

class JobRunner {
public:
    virtual ~JobRunner() = default;
    // Makes the page into `archivePath`, calling `onFetched` as bytes come
    // over the wire. Returns early (with any outcome) once `cancelled` is
    // set. Never throws.
    virtual PageOutcome Run(const PageRequest& request, const std::string& archivePath,
                            const std::function<void(std::int64_t bytes)>& onFetched,
                            const std::atomic<bool>& cancelled) = 0;
};

} // namespace zel::service
