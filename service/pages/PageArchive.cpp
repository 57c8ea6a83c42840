#include "PageArchive.h"

#include "PageError.h"

#include <sys/stat.h>
#include <unistd.h>
#include <zip.h>

#include <cstdio>
#include <stdexcept>

namespace zel::service {
namespace {

bool IsValidFileName(const std::string& name) {
    if (name.empty() || name.size() > 100 || name[0] == '.')
        return false;
    for (char c : name)
        if (!((c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '.' || c == '_' || c == '-'))
            return false;
    return true;
}

// Beside the target, so the rename that publishes it stays on one file system.
std::string TemporaryFor(const std::string& path) {
    return path + ".part" + std::to_string(getpid());
}

// Nothing half-written stays behind.
[[noreturn]] void Fail(zip_t* archive, const std::string& temporary) {
    if (archive != nullptr)
        zip_discard(archive);
    std::remove(temporary.c_str());
    throw PageError(FailureKind::ArchiveUnwritable, "cannot write the archive");
}

} // namespace

bool PageArchive::IsValidEntryName(const std::string& name) {
    if (name == "page.htm")
        return true;
    return name.rfind(kFilesFolder, 0) == 0 &&
           IsValidFileName(name.substr(sizeof(kFilesFolder) - 1));
}

void PageArchive::Add(const std::string& name, std::string bytes, bool compress) {
    if (!IsValidEntryName(name))
        throw std::invalid_argument("bad archive entry name: " + name);
    entries_.push_back({name, std::move(bytes), compress});
}

std::int64_t PageArchive::WriteTo(const std::string& path) const {
    const std::string temporary = TemporaryFor(path);
    int error = 0;
    zip_t* archive = zip_open(temporary.c_str(), ZIP_CREATE | ZIP_TRUNCATE, &error);
    if (archive == nullptr)
        Fail(nullptr, temporary);
    for (const Entry& entry : entries_) {
        zip_source_t* source =
            zip_source_buffer(archive, entry.bytes.data(), entry.bytes.size(), 0);
        const zip_int64_t index =
            source ? zip_file_add(archive, entry.name.c_str(), source, ZIP_FL_ENC_UTF_8) : -1;
        if (index < 0) {
            if (source)
                zip_source_free(source);
            Fail(archive, temporary);
        }
        const zip_uint32_t mode = S_IFREG | 0644;
        if (zip_set_file_compression(archive, zip_uint64_t(index),
                                     entry.compress ? ZIP_CM_DEFLATE : ZIP_CM_STORE, 0) != 0 ||
            zip_file_set_external_attributes(archive, zip_uint64_t(index), 0, ZIP_OPSYS_UNIX,
                                             mode << 16) != 0)
            Fail(archive, temporary);
    }
    if (zip_close(archive) != 0)
        Fail(archive, temporary);
    if (std::rename(temporary.c_str(), path.c_str()) != 0)
        Fail(nullptr, temporary);
    struct stat info {};
    if (stat(path.c_str(), &info) != 0)
        throw PageError(FailureKind::ArchiveUnwritable, "cannot write the archive");
    return info.st_size;
}

std::int64_t PageArchive::WriteBytes(const std::string& path, const std::string& bytes) {
    const std::string temporary = TemporaryFor(path);
    FILE* out = std::fopen(temporary.c_str(), "wb");
    if (out == nullptr)
        Fail(nullptr, temporary);
    const bool written = std::fwrite(bytes.data(), 1, bytes.size(), out) == bytes.size();
    if (std::fclose(out) != 0 || !written || std::rename(temporary.c_str(), path.c_str()) != 0)
        Fail(nullptr, temporary);
    return std::int64_t(bytes.size());
}

} // namespace zel::service
