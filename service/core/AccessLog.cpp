#include "AccessLog.h"

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <fcntl.h>
#include <iostream>
#include <stdexcept>
#include <sys/stat.h>
#include <unistd.h>

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

} // namespace

std::string AccessLine(const AccessRecord& record, long long unixSeconds) {
    return UtcTime(unixSeconds) + " " + OneField(record.login) + " " + OneField(record.url) + " " +
           std::to_string(record.pageBytes) + " " + std::to_string(record.archiveBytes) + " " +
           std::to_string(record.milliseconds) + " " + (record.ok ? "ok" : "bad");
}

AccessLog::AccessLog(const std::string& path, Reporter report)
    : path_(path), report_(std::move(report)) {
    if (!report_)
        report_ = [](const std::string& message) {
            std::cerr << "zelservice: " << message << '\n';
        };
    if (path.empty())
        return;
    fd_ = open(path.c_str(), O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0644);
    if (fd_ < 0)
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
    const std::string line = AccessLine(record, now) + '\n';
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

} // namespace zel::service
