#include "AccessLog.h"

#include "LoginTag.h"
#include "WriteAll.h"

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <fcntl.h>
#include <fstream>
#include <iostream>
#include <limits>
#include <stdexcept>
#include <sys/stat.h>
#include <unistd.h>
#include <utility>

namespace zel::service {

namespace {

std::string UtcTime(long long unixSeconds) {
    const std::time_t time = static_cast<std::time_t>(unixSeconds);
    std::tm parts{};
    gmtime_r(&time, &parts);
    char text[32];
    std::strftime(text, sizeof text, "%Y-%m-%dT%H:%M:%SZ", &parts);
    return text;
}

std::string OneField(const std::string& text) {
    std::string field;
    for (unsigned char c : text) {
        if (c <= 0x20 || c == 0x7f) {
            char escaped[4];
            std::snprintf(escaped, sizeof escaped, "%%%02X", c);
            field += escaped;
        } else {
            field += static_cast<char>(c);
        }
    }
    return field.empty() ? "-" : field;
}

// The time a line begins with; the oldest possible when it has none.
long long LineTime(const std::string& line) {
    std::tm parts{};
    if (!strptime(line.c_str(), "%Y-%m-%dT%H:%M:%SZ", &parts))
        return std::numeric_limits<long long>::min();
    return timegm(&parts);
}

} // namespace

std::string AccessLine(const AccessRecord& record, long long unixSeconds) {
    return UtcTime(unixSeconds) + " " + OneField(record.login) + " " + OneField(record.url) + " " +
           std::to_string(record.pageBytes) + " " + std::to_string(record.archiveBytes) + " " +
           std::to_string(record.milliseconds) + " " +
           std::string(record.failure ? NameOf(*record.failure) : "ok") +
           (record.stages.Any() ? " " + record.stages.Fields() : "");
}

AccessLog::AccessLog(const std::string& path, std::string loginKey, Reporter report)
    : path_(path), loginKey_(std::move(loginKey)), report_(std::move(report)) {
    if (!report_)
        report_ = [](const std::string& message) {
            std::cerr << "zelservice: " << message << '\n';
        };
    if (path.empty())
        return;
    fd_ = open(path.c_str(), O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0600);
    // A log written by an older version may be open to others.
    if (fd_ < 0 || fchmod(fd_, 0600) != 0)
        throw std::runtime_error("cannot open the access log " + path + ": " +
                                 std::strerror(errno));
}

AccessLog::~AccessLog() {
    if (fd_ >= 0)
        close(fd_);
}

// Writes `line`, or on failure cuts the file back to where it ended, so a
// reader never sees half a record. Only this process writes the file.
bool AccessLog::AppendWhole(const std::string& line) {
    struct stat before {};
    if (fstat(fd_, &before) != 0)
        return false;
    std::size_t written = 0;
    while (written < line.size()) {
        const ssize_t n = write(fd_, line.data() + written, line.size() - written);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0) {
            const int error = n < 0 ? errno : ENOSPC;
            // Should cutting back fail too, the write's own error is reported.
            [[maybe_unused]] const int cut = ftruncate(fd_, before.st_size);
            errno = error;
            return false;
        }
        written += static_cast<std::size_t>(n);
    }
    return true;
}

void AccessLog::Write(const AccessRecord& record) {
    const long long now = std::chrono::duration_cast<std::chrono::seconds>(
                              std::chrono::system_clock::now().time_since_epoch())
                              .count();
    AccessRecord tagged = record;
    tagged.login = LoginTag(loginKey_, record.login);
    const std::string line = AccessLine(tagged, now) + '\n';
    std::lock_guard lock(mutex_);
    if (fd_ < 0)
        return;
    if (!AppendWhole(line)) {
        if (!failing_)
            report_("cannot write the access log " + path_ + ": " + std::strerror(errno) +
                    "; lines are left out until it can");
        failing_ = true;
    } else if (failing_) {
        report_("the access log " + path_ + " is written again");
        failing_ = false;
    }
}

// Lines are only ever appended whole (a failed append is cut back to where
// the file ended), so the bytes before `settled` stay as they are while
// jobs go on logging; only what came after is copied under the lock.
bool AccessLog::CopyYoungLines(std::istream& in, long long unixSeconds, long long settled,
                               int out) {
    std::string kept;
    long long read = 0;
    for (std::string line; read < settled && std::getline(in, line);) {
        read += static_cast<long long>(line.size()) + 1;
        if (LineTime(line) >= unixSeconds)
            kept += line + '\n';
        if (kept.size() >= (1u << 20) && !WriteAll(out, std::exchange(kept, {})))
            return false;
    }
    return WriteAll(out, kept);
}

void AccessLog::RemoveLinesBefore(long long unixSeconds) {
    struct stat settled {};
    {
        std::lock_guard lock(mutex_);
        if (fd_ < 0 || fstat(fd_, &settled) != 0)
            return;
    }
    std::ifstream in(path_, std::ios::binary);
    std::string oldest;
    // Lines come in the order of their times: nothing to do while the first
    // is young.
    if (!std::getline(in, oldest) || LineTime(oldest) >= unixSeconds)
        return;
    in.seekg(0);
    const std::string fresh = path_ + ".new";
    const int out = open(fresh.c_str(), O_WRONLY | O_APPEND | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
    bool ok = out >= 0 && CopyYoungLines(in, unixSeconds, settled.st_size, out);
    std::lock_guard lock(mutex_);
    if (ok) {
        in.clear();
        in.seekg(settled.st_size);
        const std::string since((std::istreambuf_iterator<char>(in)), {});
        ok = WriteAll(out, since) && fsync(out) == 0 && rename(fresh.c_str(), path_.c_str()) == 0;
    }
    const int error = errno;
    if (!ok) {
        if (!sweepFailing_)
            report_("cannot remove old lines of the access log " + path_ + ": " +
                    std::strerror(error) + "; they go as soon as it can");
        sweepFailing_ = true;
        if (out >= 0)
            close(out);
        unlink(fresh.c_str());
        return;
    }
    sweepFailing_ = false;
    close(fd_);
    fd_ = out;
}

} // namespace zel::service
