#include "ServiceCost.h"

#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>
#include <unistd.h>
#include <vector>

namespace {

struct ProcessTimes {
    std::string parent;
    double seconds = 0; // its own and its reaped children's
};

// From /proc/<pid>/stat: the parent and utime + stime + cutime + cstime.
bool ReadTimes(const std::string& pid, ProcessTimes& times) {
    std::ifstream in("/proc/" + pid + "/stat");
    const std::string stat((std::istreambuf_iterator<char>(in)), {});
    const auto paren = stat.rfind(')');
    if (paren == std::string::npos)
        return false;
    std::istringstream fields(stat.substr(paren + 2));
    std::string field;
    double ticks = 0;
    for (int i = 3; i <= 17 && fields >> field; ++i) {
        if (i == 4)
            times.parent = field;
        if (i >= 14)
            ticks += std::stod(field);
    }
    times.seconds = ticks / double(sysconf(_SC_CLK_TCK));
    return true;
}

} // namespace

double ProcessTreeCpuSeconds(const std::string& pid) {
    std::map<std::string, ProcessTimes> all;
    for (const auto& entry : std::filesystem::directory_iterator("/proc")) {
        const std::string name = entry.path().filename().string();
        ProcessTimes times;
        if (name.find_first_not_of("0123456789") == std::string::npos && ReadTimes(name, times))
            all[name] = times;
    }
    double total = 0;
    for (const auto& [each, times] : all) {
        // Counted when `pid` is among its ancestors (or is it).
        std::string up = each;
        for (int depth = 0; depth < 64 && !up.empty() && up != "0" && up != pid; ++depth) {
            const auto found = all.find(up);
            up = found == all.end() ? std::string() : found->second.parent;
        }
        if (up == pid)
            total += times.seconds;
    }
    return total;
}

void OriginLog::Mark() {
    std::error_code error;
    const auto size = std::filesystem::file_size(path_, error);
    mark_ = error ? 0 : std::int64_t(size);
}

OriginLog::Sent OriginLog::SinceMark() const {
    std::ifstream in(path_);
    in.seekg(mark_);
    Sent sent;
    for (std::string line; std::getline(in, line);) {
        std::istringstream fields(line);
        std::string uri;
        int status = 0;
        std::int64_t body = 0, bytes = 0;
        if (!(fields >> uri >> status >> body >> bytes))
            continue;
        sent.bytes += bytes;
        (status == 304 ? sent.notModified : sent.full) += 1;
    }
    return sent;
}
