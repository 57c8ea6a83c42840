#pragma once
// One line a finished job, appended to a text file: time (UTC), the login's
// tag (LoginTag, never the login), address, page bytes, archive bytes,
// milliseconds, and "ok" or the failure's name; a made page's line goes on
// with where its processor time went (StageTimes::Fields). A line is written whole or
// not at all; when writing fails (a full disk) the failure is reported once,
// and the log goes on as soon as it can. Old lines are removed on request.

#include "FailureKind.h"
#include "StageClock.h"

#include <cstdint>
#include <functional>
#include <mutex>
#include <optional>
#include <string>

namespace zel::service {

struct AccessRecord {
    std::string login;
    std::string url;
    std::int64_t pageBytes = 0;
    std::int64_t archiveBytes = 0;
    std::int64_t milliseconds = 0;
    std::optional<FailureKind> failure; // nothing when the page was made
    StageTimes stages;                  // of a made page; none ran otherwise
};

class AccessLog {
public:
    // Where a failing and a recovered log are reported: standard error.
    using Reporter = std::function<void(const std::string& message)>;

    // Appends to `path`, a file of the service only (throws when it cannot be
    // opened), tagging logins with `loginKey`; an empty path logs nothing.
    AccessLog(const std::string& path, std::string loginKey, Reporter report = {});
    ~AccessLog();
    AccessLog(const AccessLog&) = delete;
    AccessLog& operator=(const AccessLog&) = delete;

    void Write(const AccessRecord& record);
    // Removes the lines written before `unixSeconds`. The log is replaced by
    // a copy of the lines kept, so a disk too full for the copy leaves it
    // whole (and reports that once).
    void RemoveLinesBefore(long long unixSeconds);

private:
    bool AppendWhole(const std::string& line);
    // Copies the lines from `unixSeconds` on into `out`; the bytes from
    // `settled` on are copied under the lock, as they may still grow.
    bool CopyYoungLines(std::istream& in, long long unixSeconds, long long settled, int out);

    std::string path_;
    const std::string loginKey_;
    Reporter report_;
    std::mutex mutex_;
    int fd_ = -1;
    bool failing_ = false;
    bool sweepFailing_ = false;
};

// The line written for a record at `unixSeconds`; blanks and control
// characters of the address are written as %XX so a line stays one record
// of blank-separated fields.
std::string AccessLine(const AccessRecord& record, long long unixSeconds);

} // namespace zel::service
