#include "ZipWriter.h"

#include <QTemporaryDir>
#include <zip.h>

#include <fstream>
#include <iterator>
#include <stdexcept>
#include <sys/stat.h>

namespace zel::test {

namespace {
void AddEntry(zip_t* archive, const ZipEntry& entry) {
    const std::string& data = entry.linkTarget.empty() ? entry.bytes : entry.linkTarget;
    zip_source_t* source = zip_source_buffer(archive, data.data(), data.size(), 0);
    if (!source)
        throw std::runtime_error("zip: no source for " + entry.name);
    const zip_int64_t index = zip_file_add(archive, entry.name.c_str(), source, ZIP_FL_ENC_UTF_8);
    if (index < 0) {
        zip_source_free(source);
        throw std::runtime_error("zip: cannot add " + entry.name);
    }
    // Stored, so the archive's size is the bytes' size.
    zip_set_file_compression(archive, static_cast<zip_uint64_t>(index), ZIP_CM_STORE, 0);
    const zip_uint32_t mode = entry.linkTarget.empty() ? (S_IFREG | 0644) : (S_IFLNK | 0777);
    zip_file_set_external_attributes(archive, static_cast<zip_uint64_t>(index), 0, ZIP_OPSYS_UNIX,
                                     mode << 16);
}
} // namespace

void WriteZip(const std::string& path, const std::vector<ZipEntry>& entries) {
    int error = 0;
    zip_t* archive = zip_open(path.c_str(), ZIP_CREATE | ZIP_TRUNCATE, &error);
    if (!archive)
        throw std::runtime_error("zip: cannot create " + path);
    try {
        for (const ZipEntry& entry : entries)
            AddEntry(archive, entry);
    } catch (...) {
        zip_discard(archive);
        throw;
    }
    if (zip_close(archive) != 0) {
        zip_discard(archive);
        throw std::runtime_error("zip: cannot write " + path);
    }
}

std::string ZipBytes(const std::vector<ZipEntry>& entries) {
    QTemporaryDir dir;
    const std::string path = dir.filePath(QStringLiteral("archive.zip")).toStdString();
    WriteZip(path, entries);
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

} // namespace zel::test
