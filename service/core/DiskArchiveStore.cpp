#include "DiskArchiveStore.h"

#include <fstream>

namespace fs = std::filesystem;

namespace zel::service {

namespace {

void RemoveFilesOlderThan(const fs::path& folder, fs::file_time_type limit) {
    std::error_code error;
    for (const auto& entry : fs::directory_iterator(folder, error)) {
        std::error_code ignored;
        if (entry.is_regular_file(ignored) && entry.last_write_time(ignored) < limit)
            fs::remove(entry.path(), ignored);
    }
}

} // namespace

DiskArchiveStore::DiskArchiveStore(const fs::path& root)
    : work_(root / "work"), archives_(root / "archives") {
    fs::remove_all(work_);
    fs::create_directories(work_);
    fs::create_directories(archives_);
}

fs::path DiskArchiveStore::ArchivePath(const std::string& login) const {
    return archives_ / (login + ".zip");
}

std::string DiskArchiveStore::WorkPath(const std::string& login, std::uint64_t job) {
    return (work_ / (login + "." + std::to_string(job) + ".zip")).string();
}

std::int64_t DiskArchiveStore::Publish(const std::string& login, const std::string& workPath) {
    const fs::path target = ArchivePath(login);
    fs::rename(workPath, target);
    return static_cast<std::int64_t>(fs::file_size(target));
}

void DiskArchiveStore::Discard(const std::string& workPath) {
    std::error_code ignored;
    fs::remove(workPath, ignored);
}

StoredArchive DiskArchiveStore::Open(const std::string& login) {
    // The open stream keeps its file even if a newer archive replaces it.
    auto stream = std::make_shared<std::ifstream>(ArchivePath(login), std::ios::binary);
    if (!*stream)
        return {};
    stream->seekg(0, std::ios::end);
    const std::int64_t size = stream->tellg();
    stream->seekg(0);
    if (size < 0)
        return {};
    return {stream, size};
}

void DiskArchiveStore::RemoveOlderThan(std::chrono::seconds age) {
    const auto limit = fs::file_time_type::clock::now() - age;
    RemoveFilesOlderThan(work_, limit);
    RemoveFilesOlderThan(archives_, limit);
}

} // namespace zel::service
