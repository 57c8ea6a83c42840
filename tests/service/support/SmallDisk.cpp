#include "SmallDisk.h"

#include <fcntl.h>
#include <string>
#include <sys/mount.h>
#include <unistd.h>

namespace zel::service::test {

namespace {
const char* const kFiller = ".filler";
} // namespace

SmallDisk::SmallDisk(std::int64_t bytes) {
    const std::string options = "size=" + std::to_string(bytes) + ",mode=0777";
    mounted_ =
        mount("tmpfs", folder_.Path().c_str(), "tmpfs", MS_NOSUID | MS_NODEV, options.c_str()) == 0;
}

SmallDisk::~SmallDisk() {
    if (mounted_)
        umount2(folder_.Path().c_str(), MNT_DETACH);
}

void SmallDisk::Fill() {
    const int fd =
        open((Path() / kFiller).c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0600);
    const std::string block(4096, 'f');
    while (fd >= 0 && write(fd, block.data(), block.size()) > 0) {
    }
    // The last blocks of a tmpfs fill byte by byte.
    while (fd >= 0 && write(fd, "f", 1) > 0) {
    }
    if (fd >= 0)
        close(fd);
}

void SmallDisk::Free() {
    std::error_code ignored;
    std::filesystem::remove(Path() / kFiller, ignored);
}

} // namespace zel::service::test
