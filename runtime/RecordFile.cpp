#include "RecordFile.h"

#include "InOutError.h"

#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace zel {

namespace {
// Code Borland-style runtimes report for an operation on a file that is not open.
constexpr int FileNotOpen = 103;
} // namespace

RecordFile::RecordFile(std::string path, std::size_t recordSize, Links links)
    : path_(std::move(path)), recordSize_(recordSize), links_(links) {}

RecordFile::~RecordFile() {
    if (fd_ >= 0)
        ::close(fd_);
}

void RecordFile::open(int flags) {
    if (fd_ >= 0)
        close();
    fd_ = OpenOrRaise(path_, flags | OpenFlagFor(links_));
}

void RecordFile::reset(Access access) {
    open(access == Access::ReadOnly ? O_RDONLY : O_RDWR);
}

void RecordFile::rewrite() {
    open(O_RDWR | O_CREAT | O_TRUNC);
}

void RecordFile::requireOpen() const {
    if (fd_ < 0)
        throw InOutError(FileNotOpen);
}

std::int64_t RecordFile::size() const {
    requireOpen();
    struct stat st {};
    if (::fstat(fd_, &st) != 0)
        InOutError::raiseFromErrno(errno);
    return static_cast<std::int64_t>(st.st_size) / static_cast<std::int64_t>(recordSize_);
}

void RecordFile::seek(std::int64_t record) {
    requireOpen();
    if (::lseek(fd_, static_cast<off_t>(record * static_cast<std::int64_t>(recordSize_)),
                SEEK_SET) < 0)
        InOutError::raiseFromErrno(errno);
}

void RecordFile::read(void* buffer, std::size_t count) {
    requireOpen();
    auto* out = static_cast<char*>(buffer);
    std::size_t wanted = count * recordSize_;
    std::size_t done = 0;
    while (done < wanted) {
        ssize_t n = ::read(fd_, out + done, wanted - done);
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0)
            InOutError::raiseFromErrno(errno);
        if (n == 0)
            throw InOutError(InOutError::ReadBeyondEnd);
        done += static_cast<std::size_t>(n);
    }
}

void RecordFile::write(const void* buffer, std::size_t count) {
    requireOpen();
    const auto* in = static_cast<const char*>(buffer);
    std::size_t wanted = count * recordSize_;
    std::size_t done = 0;
    while (done < wanted) {
        ssize_t n = ::write(fd_, in + done, wanted - done);
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0)
            InOutError::raiseFromErrno(errno);
        if (n == 0)
            throw InOutError(InOutError::DiskFull);
        done += static_cast<std::size_t>(n);
    }
}

void RecordFile::close() {
    CloseOrRaise(fd_);
}

} // namespace zel
