#pragma once
// Where the page archives live: a job writes its archive into a work file,
// a finished one becomes the login's archive, and the browser downloads
// that. Folders on one machine by default; an object store serves several
// machines behind the same interface.

#include <chrono>
#include <cstdint>
#include <istream>
#include <memory>
#include <string>

namespace zel::service {

struct StoredArchive {
    std::shared_ptr<std::istream> data;
    std::int64_t size = 0;
};

class ArchiveStore {
public:
    virtual ~ArchiveStore() = default;
    // The local file that job `job` of `login` writes its archive to.
    virtual std::string WorkPath(const std::string& login, std::uint64_t job) = 0;
    // Makes a finished work file the login's archive, replacing the one
    // before; returns its size. Throws when it cannot.
    virtual std::int64_t Publish(const std::string& login, const std::string& workPath) = 0;
    // Drops the work file of a job that failed or was replaced, with any
    // temporary file its writer left beside it.
    virtual void Discard(const std::string& workPath) = 0;
    // The login's last archive; no data when there is none.
    virtual StoredArchive Open(const std::string& login) = 0;
    // Removes archives older than `age` and the work files of jobs that no
    // longer run.
    virtual void RemoveOlderThan(std::chrono::seconds age) = 0;
};

} // namespace zel::service
