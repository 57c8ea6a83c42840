#pragma once
// A binary file of fixed-size records, opened for one operation and closed again.
// Every failing step raises InOutError with the code of the failure, so a caller
// can rely on "no exception" meaning "the bytes are where they should be".

#include "Links.h"

#include <cstddef>
#include <cstdint>
#include <string>

namespace zel {

class RecordFile {
public:
    enum class Access { ReadOnly, ReadWrite };

    RecordFile(std::string path, std::size_t recordSize, Links links = Links::Follow);
    ~RecordFile();
    RecordFile(const RecordFile&) = delete;
    RecordFile& operator=(const RecordFile&) = delete;

    // Opens an existing file; never creates one.
    void reset(Access access = Access::ReadWrite);
    // Creates the file anew with length zero (an existing one is truncated).
    void rewrite();
    // Number of whole records; a trailing part record does not count.
    std::int64_t size() const;
    void seek(std::int64_t record);
    // Reads `count` whole records; fewer bytes than that is "Read beyond end of file".
    void read(void* buffer, std::size_t count = 1);
    void write(const void* buffer, std::size_t count = 1);
    void close();
    bool isOpen() const { return fd_ >= 0; }

private:
    void open(int flags);
    void requireOpen() const;

    std::string path_;
    std::size_t recordSize_;
    Links links_;
    int fd_ = -1;
};

} // namespace zel
