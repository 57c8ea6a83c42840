#include "BinaryFiles.h"

#include "RecordFile.h"

namespace zel {

std::string ReadWholeFile(const std::string& path, Links links) {
    RecordFile file(path, 1, links);
    file.reset(RecordFile::Access::ReadOnly);
    std::string bytes(static_cast<std::size_t>(file.size()), '\0');
    file.read(bytes.data(), bytes.size());
    file.close();
    return bytes;
}

void WriteWholeFile(const std::string& path, const std::string& bytes, Links links) {
    RecordFile file(path, 1, links);
    file.rewrite();
    file.write(bytes.data(), bytes.size());
    file.close();
}

void AppendToFile(const std::string& path, const std::string& bytes) {
    RecordFile file(path, 1);
    file.reset();
    file.seek(file.size());
    file.write(bytes.data(), bytes.size());
    file.close();
}

} // namespace zel
