#pragma once
// One line a finished job, appended to a text file: time (UTC), login,
// address, page bytes, archive bytes, milliseconds, and "ok" or "bad".
// A line is written whole or not at all; when writing fails (a full disk)
// the failure is reported once, and the log goes on as soon as it can.

#include <cstdint>
#include <functional>
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
    // Where a failing and a recovered log are reported: standard error.
    using Reporter = std::function<void(const std::string& message)>;

    // Appends to `path` (throws when it cannot be opened); an empty path logs
    // nothing.
    explicit AccessLog(const std::string& path, Reporter report = {});
    ~AccessLog();
    AccessLog(const AccessLog&) = delete;
    AccessLog& operator=(const AccessLog&) = delete;

    void Write(const AccessRecord& record);

private:
    bool AppendWhole(const std::string& line);

    std::string path_;
    Reporter report_;
    std::mutex mutex_;
    int fd_ = -1;
    bool failing_ = false;
};

// The line written for a record at `unixSeconds`; blanks and control
// characters of the address are written as %XX so a line stays one record
// of blank-separated fields.
std::string AccessLine(const AccessRecord& record, long long unixSeconds);

} // namespace zel::service
