#include "SafeReplace.h"

#include "InOutError.h"

#include <cerrno>
#include <cstdio>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace zel {

namespace {
// Closes `fd` after a call on it that returned `result`; the call's failure
// is the one raised, not the close's.
void closeAfter(int fd, int result) {
    if (result != 0) {
        const int err = errno;
        ::close(fd);
        InOutError::raiseFromErrno(err);
    }
    CloseOrRaise(fd);
}

// The temporary file is made empty with the old file's permissions before
// anything is written into it, so the new content is never readable by more
// users than the old. Without an old file the writer's usual mode applies.
void createWithModeOf(const std::string& path, const std::string& temp) {
    ::unlink(temp.c_str()); // a leftover of an interrupted run
    struct stat old {};
    if (::stat(path.c_str(), &old) != 0)
        return;
    const int fd = OpenOrRaise(temp, O_WRONLY | O_CREAT | O_EXCL, 0600);
    closeAfter(fd, ::fchmod(fd, old.st_mode & 07777));
}

// The content must be on the disk before the name points at it, or a crash
// right after the rename could leave an empty file.
void syncFile(const std::string& path) {
    const int fd = OpenOrRaise(path, O_RDONLY);
    closeAfter(fd, ::fsync(fd));
}

// Makes the rename itself durable; the new content is complete either way,
// so a failure here is not reported.
void syncFolderOf(const std::string& path) {
    const std::size_t slash = path.rfind('/');
    const std::string folder = slash == std::string::npos ? "." : path.substr(0, slash + 1);
    int fd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0)
        return;
    ::fsync(fd);
    ::close(fd);
}
} // namespace

void ReplaceFile(const std::string& path, const std::function<void(const std::string&)>& write) {
    const std::string temp = path + ".new";
    try {
        createWithModeOf(path, temp);
        write(temp);
        syncFile(temp);
        if (std::rename(temp.c_str(), path.c_str()) != 0)
            InOutError::raiseFromErrno(errno);
    } catch (...) {
        ::unlink(temp.c_str());
        throw;
    }
    syncFolderOf(path);
}

} // namespace zel
