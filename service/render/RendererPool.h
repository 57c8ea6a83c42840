#pragma once
// The service's warm browsers. A job borrows one for its whole run, alone
// (one page cannot take it from another user's page), and gets it through
// the browser's pipe; when the job ends the browser must hold no context of
// it any more, or it is killed and started afresh. While a browser waits
// between jobs, it opens the next job's fresh context with a blank page in
// it, so the page's process is started before the job needs it.

#include "BrowserProcess.h"

#include <chrono>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

namespace zel::service {

struct RendererSettings {
    int count = 0;                           // browsers kept; 0: none
    std::int64_t memoryBytes = 1024LL << 20; // resident, all its processes together
    std::string executable = "chromium";
};

class RendererPool {
public:
    explicit RendererPool(RendererSettings settings);

    struct Lease {
        int slot = -1;
        BrowserLink link;
        pid_t pid = -1;
        explicit operator bool() const { return slot >= 0; }
    };

    // A free browser that is ready; an empty lease when every browser is
    // busy or still starting (the job goes without). Browsers are started
    // here the first time and again whenever one is replaced.
    Lease Borrow();
    // Kills the lent browser when it has grown beyond its memory bound;
    // true when it did.
    bool KillWhenTooBig(const Lease& lease);
    // Takes the browser back after its job ended.
    void Return(Lease& lease);

private:
    struct Slot {
        std::unique_ptr<BrowserProcess> browser;
        bool busy = false;
        std::string prepared; // the context opened for the next job, if any
    };
    // True when the browser answers and holds no browser context but the
    // one prepared for a job, unused. Forgets the prepared one once used.
    static bool IsClean(Slot& slot);
    static void Prepare(Slot& slot);
    void Start(Slot& slot);

    RendererSettings settings_;
    std::mutex mutex_;
    std::vector<Slot> slots_;
};

} // namespace zel::service
