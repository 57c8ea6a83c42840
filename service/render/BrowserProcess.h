#pragma once
// One headless Chromium, started with posix_spawn (the service never forks
// from threads) and driven over its DevTools pipe. It gets a fresh profile
// folder of its own, its own process group (so it is killed with every
// process it started) and a proxy that goes nowhere: whatever it would fetch
// by itself fails, and pages reach the web only through the service.

#include "BrowserLink.h"

#include <chrono>
#include <cstdint>
#include <string>
#include <sys/types.h>

namespace zel::service {

class BrowserProcess {
public:
    // Throws RenderFailure when it cannot be started.
    explicit BrowserProcess(const std::string& executable = "chromium");
    ~BrowserProcess(); // kills it and removes its profile
    BrowserProcess(const BrowserProcess&) = delete;
    BrowserProcess& operator=(const BrowserProcess&) = delete;

    BrowserLink Link() const { return {commands_, events_}; }
    pid_t Pid() const { return pid_; }
    bool Running();
    // True once it answers over its pipe; waits until `deadline` at most.
    // A browser takes seconds to start: it is lent to jobs only once ready.
    bool Ready(std::chrono::steady_clock::time_point deadline);
    // Memory the browser and every process it started hold together.
    std::int64_t ResidentBytes() const;
    void Kill();

private:
    pid_t pid_ = -1;
    int commands_ = -1;
    int events_ = -1;
    std::string profile_;
    bool ready_ = false;
    int nextId_ = 1; // the ids of the service's own commands
};

} // namespace zel::service
