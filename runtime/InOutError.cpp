#include "InOutError.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>

namespace zel {

InOutError::InOutError(int code) : Exception(textFor(code)), code_(code) {}

std::string InOutError::textFor(int code) {
    switch (code) {
    case FileNotFound:
        return "File not found";
    case AccessDenied:
        return "File access denied";
    case ReadBeyondEnd:
        return "Read beyond end of file";
    case DiskFull:
        return "Disk full";
    default:
        return "I/O error " + std::to_string(code);
    }
}

InOutError InOutError::fromErrno(int err) {
    switch (err) {
    case ENOENT:
    case ENOTDIR:
        return InOutError(FileNotFound);
    case EACCES:
    case EPERM:
    case EISDIR:
    case EROFS:
    case ELOOP: // a link where none may be followed
        return InOutError(AccessDenied);
    case ENOSPC:
    case EDQUOT:
    case EFBIG:
        return InOutError(DiskFull);
    default:
        // errno numbers overlap the classic codes, so the text is made here.
        return InOutError(err, "I/O error " + std::to_string(err));
    }
}

void InOutError::raiseFromErrno(int err) {
    throw fromErrno(err);
}

int OpenOrRaise(const std::string& path, int flags, int mode) {
    const int fd = ::open(path.c_str(), flags | O_CLOEXEC, mode);
    if (fd < 0)
        InOutError::raiseFromErrno(errno);
    return fd;
}

void CloseOrRaise(int& fd) {
    if (fd < 0)
        return;
    int open = fd;
    fd = -1;
    if (::close(open) != 0)
        InOutError::raiseFromErrno(errno);
}

} // namespace zel
