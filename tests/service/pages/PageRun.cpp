#include "PageRun.h"

#include "MakePage.h"

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <stdexcept>
#include <unistd.h>

namespace zel::service::test {
namespace {

std::string Run(const std::string& command) {
    std::string out;
    FILE* pipe = popen(command.c_str(), "r");
    if (pipe == nullptr)
        throw std::runtime_error("cannot run " + command);
    char buffer[4096];
    for (size_t n; (n = fread(buffer, 1, sizeof buffer, pipe)) > 0;)
        out.append(buffer, n);
    if (pclose(pipe) != 0)
        throw std::runtime_error("failed: " + command);
    return out;
}

} // namespace

PageLimits TestLimits() {
    PageLimits limits;
    limits.allowPrivateOrigins = true;
    limits.fetchTimeoutSeconds = 10;
    return limits;
}

PageRequest Request(const std::string& url, int quality, int colors, bool gray, bool images) {
    PageRequest request;
    request.url = url;
    request.image = {images, quality, colors, gray};
    return request;
}

PageRun::PageRun(const PageRequest& request, const PageLimits& limits) {
    char pattern[] = "/tmp/zel-page-XXXXXX";
    if (mkdtemp(pattern) == nullptr)
        throw std::runtime_error("no temporary folder");
    folder_ = pattern;
    outcome_ = MakePage(request, limits, (folder_ / "page.zip").string(),
                        [this](std::int64_t bytes) { reported_ += bytes; });
}

PageRun::~PageRun() {
    std::error_code ignored;
    std::filesystem::remove_all(folder_, ignored);
}

void PageRun::Unpack() {
    if (unpacked_)
        return;
    Run("cd '" + folder_.string() + "' && unzip -q page.zip");
    unpacked_ = true;
}

std::string PageRun::File(const std::string& name) {
    Unpack();
    std::ifstream in(folder_ / name, std::ios::binary);
    if (!in)
        throw std::runtime_error("missing " + name);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

bool PageRun::Exists(const std::string& name) {
    Unpack();
    return std::filesystem::is_regular_file(folder_ / name);
}

std::vector<PageRun::Entry> PageRun::Entries() {
    // zipinfo's long form: mode, version, system, size, type, method, date, time, name.
    std::istringstream listing(Run("zipinfo -l '" + (folder_ / "page.zip").string() + "'"));
    std::vector<Entry> entries;
    for (std::string line; std::getline(listing, line);) {
        std::istringstream fields(line);
        std::string mode, skip, name;
        fields >> mode;
        for (int i = 0; i < 8 && fields >> skip;)
            ++i;
        if (mode.size() == 10 && std::getline(fields >> std::ws, name))
            entries.push_back({mode, name});
    }
    return entries;
}

std::vector<std::string> PageRun::PageFiles() {
    Unpack();
    std::vector<std::string> names;
    if (std::filesystem::is_directory(folder_ / "page.files"))
        for (const auto& entry : std::filesystem::directory_iterator(folder_ / "page.files"))
            names.push_back("page.files/" + entry.path().filename().string());
    return names;
}

} // namespace zel::service::test
