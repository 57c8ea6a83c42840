#include "RequestProgress.h"

namespace zel {

namespace {
std::string Bytes(std::int64_t count) {
    return std::to_string(count) + (count == 1 ? " byte" : " bytes");
}
} // namespace

std::string ProgressText(RequestStage stage, std::int64_t pageBytes, std::int64_t received,
                         std::int64_t archiveBytes, std::int64_t seconds) {
    std::string doing;
    switch (stage) {
    case RequestStage::Idle:
        return {};
    case RequestStage::Asking:
        doing = "Waiting for the service";
        break;
    case RequestStage::Fetching:
        doing = "The service is fetching the page: " + Bytes(pageBytes) + " so far";
        break;
    case RequestStage::Making:
        doing = "The service is making the page from " + Bytes(pageBytes);
        break;
    case RequestStage::Downloading:
        doing =
            "Downloading the archive: " + std::to_string(received) + " of " + Bytes(archiveBytes);
        break;
    case RequestStage::Unpacking:
        doing = "Unpacking the page";
        break;
    }
    return doing + " (" + std::to_string(seconds) + " s)";
}

} // namespace zel
