#pragma once
// One line a finished job, appended to a text file: time (UTC), login,
// address, page bytes, archive bytes, milliseconds, and "ok" or "bad".

#include <cstdint>
#include <fstream>
#include <mutex>
#include <string>

namespace zel::service {

struct AccessRecord {
    std::string login;
    std::string url;
    std::int64_t pageBytes = 0;
    std::int64_t archiveBytes = 0;
    std::int64_t milliseconds = 0;
    bool ok = false;
};

class AccessLog {
public:
    // Appends to `path` (throws when it cannot be opened); an empty path logs
    // nothing.
    explicit AccessLog(const std::string& path);
    void Write(const AccessRecord& record);

private:
    std::mutex mutex_;
    std::ofstream out_;
};

// The line written for a record at `unixSeconds`; blanks and control
// characters of the address are written as %XX so a line stays one record
// of blank-separated fields.
std::string AccessLine(const AccessRecord& record, long long unixSeconds);

} // namespace zel::service
