#pragma once
// Archives in two folders under the data folder: "work/" for jobs still
// writing, "archives/<login>.zip" for the finished ones. Publishing is a
// rename, so a download never sees half an archive.

#include "ArchiveStore.h"

#include <filesystem>
#include <mutex>
#include <set>

namespace zel::service {

class DiskArchiveStore : public ArchiveStore {
public:
    // Creates the folders; work files left by an earlier run are removed.
    // A work path handed out counts as running until it is published or
    // discarded.
    explicit DiskArchiveStore(const std::filesystem::path& root);

    std::string WorkPath(const std::string& login, std::uint64_t job) override;
    std::int64_t Publish(const std::string& login, const std::string& workPath) override;
    void Discard(const std::string& workPath) override;
    StoredArchive Open(const std::string& login) override;
    void RemoveOlderThan(std::chrono::seconds age) override;

private:
    std::filesystem::path ArchivePath(const std::string& login) const;
    bool BelongsToRunningJob(const std::string& fileName);
    void Forget(const std::string& workPath);

    std::filesystem::path work_;
    std::filesystem::path archives_;
    std::mutex mutex_;
    std::set<std::string> running_; // file names in work_
};

} // namespace zel::service
