#pragma once
// Text files read line by line and written with CR LF line ends.

#include "Links.h"

#include <string>
#include <vector>

namespace zel {

// Reads lines ending in CR LF, LF or the end of the file. A CR that is not
// followed by LF is dropped from the line. A missing file is "File not found".
class TextReader {
public:
    explicit TextReader(const std::string& path, Links links = Links::Follow);
    ~TextReader();
    TextReader(const TextReader&) = delete;
    TextReader& operator=(const TextReader&) = delete;

    // False at the end of the file; otherwise the next line, without its end.
    bool readLine(std::string& line);
    void close();

private:
    bool fill();

    int fd_ = -1;
    std::string buffer_;
    std::size_t pos_ = 0;
    bool eof_ = false;
};

class TextWriter {
public:
    enum class Mode { Create, Append };

    // Create truncates or creates; Append needs an existing file.
    TextWriter(const std::string& path, Mode mode, Links links = Links::Follow);
    ~TextWriter();
    TextWriter(const TextWriter&) = delete;
    TextWriter& operator=(const TextWriter&) = delete;

    void write(const std::string& text);
    void writeLine(const std::string& line);
    // Flushes and closes; a failure of either raises.
    void close();

private:
    void flush();

    int fd_ = -1;
    std::string pending_;
};

// The lines of a whole text file, the way a string list loads it (a line ends
// at CR LF, LF or a lone CR). A file that cannot be opened raises
// "Cannot open file <path>".
std::vector<std::string> LoadLines(const std::string& path);

} // namespace zel
