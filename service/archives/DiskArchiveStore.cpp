#include "DiskArchiveStore.h"

#include <algorithm>
#include <fstream>
#include <stdexcept>

namespace fs = std::filesystem;

namespace zel::service {

namespace {

// Removes the files of `folder` for which `expendable` holds.
template <typename Test> void RemoveFilesWhere(const fs::path& folder, Test expendable) {
    std::error_code error;
    for (const auto& entry : fs::directory_iterator(folder, error)) {
        std::error_code ignored;
        if (entry.is_regular_file(ignored) && expendable(entry))
            fs::remove(entry.path(), ignored);
    }
}

// The work file itself or a temporary file its writer made beside it.
bool IsFileOfWork(const std::string& fileName, const std::string& workName) {
    return fileName.compare(0, workName.size(), workName) == 0 &&
           (fileName.size() == workName.size() || fileName[workName.size()] == '.');
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
    const std::string name = login + "." + std::to_string(job) + ".zip";
    std::lock_guard lock(mutex_);
    running_.insert(name);
    return (work_ / name).string();
}

// The failure's text goes to the journal: it names no path, as the paths
// hold the login.
std::int64_t DiskArchiveStore::Publish(const std::string& login, const std::string& workPath) {
    const fs::path target = ArchivePath(login);
    std::error_code error;
    fs::rename(workPath, target, error);
    if (!error)
        Forget(workPath);
    const std::uintmax_t size = error ? 0 : fs::file_size(target, error);
    if (error)
        throw std::runtime_error("cannot publish an archive: " + error.message());
    return static_cast<std::int64_t>(size);
}

void DiskArchiveStore::Discard(const std::string& workPath) {
    Forget(workPath);
}

// The job has ended: its work file and the temporaries beside it go.
void DiskArchiveStore::Forget(const std::string& workPath) {
    const std::string workName = fs::path(workPath).filename().string();
    {
        std::lock_guard lock(mutex_);
        running_.erase(workName);
    }
    RemoveFilesWhere(work_, [&](const fs::directory_entry& entry) {
        return IsFileOfWork(entry.path().filename().string(), workName);
    });
}

bool DiskArchiveStore::BelongsToRunningJob(const std::string& fileName) {
    std::lock_guard lock(mutex_);
    return std::any_of(running_.begin(), running_.end(), [&](const std::string& workName) {
        return IsFileOfWork(fileName, workName);
    });
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
    RemoveFilesWhere(work_, [&](const fs::directory_entry& entry) {
        return !BelongsToRunningJob(entry.path().filename().string());
    });
    RemoveFilesWhere(archives_, [&](const fs::directory_entry& entry) {
        std::error_code ignored;
        return entry.last_write_time(ignored) < limit;
    });
}

} // namespace zel::service
