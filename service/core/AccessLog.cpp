#include "AccessLog.h"

#include <chrono>
#include <cstdio>
#include <ctime>
#include <stdexcept>

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

AccessLog::AccessLog(const std::string& path) {
    if (path.empty())
        return;
    out_.open(path, std::ios::app);
    if (!out_)
        throw std::runtime_error("cannot open the access log " + path);
}

void AccessLog::Write(const AccessRecord& record) {
    const long long now = std::chrono::duration_cast<std::chrono::seconds>(
                              std::chrono::system_clock::now().time_since_epoch())
                              .count();
    std::lock_guard lock(mutex_);
    if (out_.is_open())
        out_ << AccessLine(record, now) << '\n' << std::flush;
}

} // namespace zel::service
