#include "TextFile.h"

#include "BinaryFiles.h"
#include "Exception.h"
#include "InOutError.h"

#include <cerrno>
#include <fcntl.h>
#include <unistd.h>

namespace zel {

namespace {
constexpr std::size_t ChunkSize = 64 * 1024;
} // namespace

TextReader::TextReader(const std::string& path, Links links)
    : fd_(OpenOrRaise(path, O_RDONLY | OpenFlagFor(links))) {}

TextReader::~TextReader() {
    if (fd_ >= 0)
        ::close(fd_);
}

bool TextReader::fill() {
    if (eof_)
        return false;
    buffer_.erase(0, pos_);
    pos_ = 0;
    std::size_t old = buffer_.size();
    buffer_.resize(old + ChunkSize);
    ssize_t n;
    do {
        n = ::read(fd_, buffer_.data() + old, ChunkSize);
    } while (n < 0 && errno == EINTR);
    if (n < 0) {
        buffer_.resize(old);
        InOutError::raiseFromErrno(errno);
    }
    buffer_.resize(old + static_cast<std::size_t>(n));
    if (n == 0)
        eof_ = true;
    return n > 0;
}

bool TextReader::readLine(std::string& line) {
    line.clear();
    for (;;) {
        std::size_t lf = buffer_.find('\n', pos_);
        if (lf != std::string::npos) {
            line.append(buffer_, pos_, lf - pos_);
            pos_ = lf + 1;
            break;
        }
        if (!fill()) {
            if (pos_ >= buffer_.size())
                return false;
            line.append(buffer_, pos_, std::string::npos);
            pos_ = buffer_.size();
            break;
        }
    }
    std::erase(line, '\r');
    return true;
}

void TextReader::close() {
    CloseOrRaise(fd_);
}

TextWriter::TextWriter(const std::string& path, Mode mode, Links links)
    : fd_(OpenOrRaise(path,
                      (mode == Mode::Create ? O_WRONLY | O_CREAT | O_TRUNC : O_WRONLY | O_APPEND) |
                          OpenFlagFor(links))) {}

TextWriter::~TextWriter() {
    if (fd_ < 0)
        return;
    try {
        flush();
    } catch (const Exception&) {
        // Destruction during unwinding; the first failure is already on its way.
    }
    ::close(fd_);
}

void TextWriter::write(const std::string& text) {
    pending_ += text;
    if (pending_.size() >= ChunkSize)
        flush();
}

void TextWriter::writeLine(const std::string& line) {
    write(line + "\r\n");
}

void TextWriter::flush() {
    std::size_t done = 0;
    while (done < pending_.size()) {
        ssize_t n = ::write(fd_, pending_.data() + done, pending_.size() - done);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0) {
            pending_.erase(0, done);
            if (n == 0)
                throw InOutError(InOutError::DiskFull);
            InOutError::raiseFromErrno(errno);
        }
        done += static_cast<std::size_t>(n);
    }
    pending_.clear();
}

void TextWriter::close() {
    if (fd_ < 0)
        return;
    try {
        flush();
    } catch (...) {
        ::close(fd_);
        fd_ = -1;
        throw;
    }
    CloseOrRaise(fd_);
}

std::vector<std::string> LoadLines(const std::string& path) {
    std::string text;
    try {
        text = ReadWholeFile(path);
    } catch (const InOutError&) {
        throw Exception("Cannot open file " + path);
    }
    std::vector<std::string> lines;
    std::size_t start = 0;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] != '\r' && text[i] != '\n')
            continue;
        lines.push_back(text.substr(start, i - start));
        if (text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n')
            ++i;
        start = i + 1;
    }
    if (start < text.size())
        lines.push_back(text.substr(start));
    return lines;
}

} // namespace zel
