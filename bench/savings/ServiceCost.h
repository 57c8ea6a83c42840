#pragma once
// What making pages costs outside the benchmark's own process: the processor
// time of a running service with everything it started, and what an origin
// server sent, read from its access log.

#include <cstdint>
#include <string>

// Processor seconds of process `pid` and of all its descendants, living
// (the lent browsers) or finished (the jobs, counted in their parents).
double ProcessTreeCpuSeconds(const std::string& pid);

// The origin's access log, one line a request:
// "<request uri> <status> <body bytes> <bytes with headers>".
class OriginLog {
public:
    explicit OriginLog(std::string path) : path_(std::move(path)) {}

    struct Sent {
        std::int64_t bytes = 0; // with headers
        int full = 0;           // responses with a body (200 and the like)
        int notModified = 0;    // revalidations (304)
    };
    // Forgets what is in the log so far.
    void Mark();
    // What the lines since the last Mark add up to.
    Sent SinceMark() const;
    bool On() const { return !path_.empty(); }

private:
    std::string path_;
    std::int64_t mark_ = 0;
};
