#include "DiskCache.h"

#include "ContentHash.h"

#include <zlib.h>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <fcntl.h>
#include <fstream>
#include <sstream>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <unistd.h>
#include <vector>

namespace fs = std::filesystem;

namespace zel::service {
namespace {

constexpr char kMagic[] = "zelcache1";
constexpr char kTempPrefix[] = ".tmp-";
// A temporary file this old was left by a crash.
constexpr auto kStaleTemp = std::chrono::minutes(10);
// The room an entry must leave free on its file system, for the archives.
constexpr std::int64_t kKeepFreeBytes = 64 << 20;

std::uint32_t Checksum(const std::string& bytes) {
    return std::uint32_t(
        crc32(0, reinterpret_cast<const Bytef*>(bytes.data()), uInt(bytes.size())));
}

// "zelcache1 <key bytes> <value bytes> <crc32 of the value>\n" key value
std::string Header(const std::string& key, const std::string& value) {
    return std::string(kMagic) + " " + std::to_string(key.size()) + " " +
           std::to_string(value.size()) + " " + std::to_string(Checksum(value)) + "\n";
}

std::optional<std::string> ValueOf(const std::string& entry, const std::string& key) {
    const auto newline = entry.find('\n');
    if (newline == std::string::npos)
        return std::nullopt;
    std::istringstream header(entry.substr(0, newline));
    std::string magic;
    std::size_t keyBytes = 0, valueBytes = 0;
    std::uint32_t checksum = 0;
    if (!(header >> magic >> keyBytes >> valueBytes >> checksum) || magic != kMagic)
        return std::nullopt;
    const std::size_t start = newline + 1;
    if (keyBytes != key.size() || entry.size() - start != keyBytes + valueBytes ||
        entry.compare(start, keyBytes, key) != 0)
        return std::nullopt;
    std::string value = entry.substr(start + keyBytes);
    if (Checksum(value) != checksum)
        return std::nullopt;
    return value;
}

void WriteFile(const fs::path& path, const std::string& bytes) {
    const int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
    if (fd < 0)
        throw CacheFailure("cannot write " + path.string());
    std::size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t put = write(fd, bytes.data() + done, bytes.size() - done);
        if (put <= 0) {
            close(fd);
            unlink(path.c_str());
            throw CacheFailure("cannot write " + path.string());
        }
        done += std::size_t(put);
    }
    if (close(fd) != 0) {
        unlink(path.c_str());
        throw CacheFailure("cannot write " + path.string());
    }
}

// Whether `bytes` more leave the file system of `folder` the room the
// service's archives and work files need.
bool LeavesRoom(const fs::path& folder, std::size_t bytes) {
    struct statvfs disk {};
    if (statvfs(folder.c_str(), &disk) != 0)
        return false;
    const std::int64_t free = std::int64_t(disk.f_bavail) * std::int64_t(disk.f_frsize);
    return free - std::int64_t(bytes) >= kKeepFreeBytes;
}

std::string TempName() {
    static std::atomic<unsigned> counter{0};
    return std::string(kTempPrefix) + std::to_string(getpid()) + "-" + std::to_string(++counter);
}

} // namespace

DiskCache::DiskCache(fs::path folder, std::int64_t maxEntryBytes)
    : folder_(std::move(folder)), maxEntryBytes_(maxEntryBytes) {}

fs::path DiskCache::PathOf(const std::string& key) const {
    const std::string name = ContentHash(key);
    return folder_ / name.substr(0, 2) / name.substr(2);
}

std::optional<std::string> DiskCache::Get(const std::string& key) {
    const fs::path path = PathOf(key);
    std::ifstream in(path, std::ios::binary);
    if (!in)
        return std::nullopt;
    std::ostringstream entry;
    entry << in.rdbuf();
    auto value = ValueOf(entry.str(), key);
    if (value) // used now: the last to go
        utimensat(AT_FDCWD, path.c_str(), nullptr, 0);
    return value;
}

void DiskCache::Put(const std::string& key, const std::string& value) {
    if (std::int64_t(value.size()) > maxEntryBytes_)
        return;
    const fs::path path = PathOf(key);
    std::error_code error;
    fs::create_directories(path.parent_path(), error);
    if (!error && !LeavesRoom(path.parent_path(), value.size()))
        return; // a full disk: the cache gives way to the pages
    const fs::path temp = path.parent_path() / TempName();
    WriteFile(temp, Header(key, value) + key + value);
    if (rename(temp.c_str(), path.c_str()) != 0) {
        unlink(temp.c_str());
        throw CacheFailure("cannot write " + path.string());
    }
}

std::int64_t DiskCache::Trim(std::int64_t maxBytes) {
    struct File {
        fs::file_time_type used;
        std::int64_t bytes;
        fs::path path;
    };
    std::vector<File> files;
    std::int64_t total = 0;
    std::error_code error;
    const auto staleBefore = fs::file_time_type::clock::now() - kStaleTemp;
    for (fs::recursive_directory_iterator it(folder_, error), end; !error && it != end;
         it.increment(error)) {
        if (!it->is_regular_file(error))
            continue;
        File file{it->last_write_time(error), std::int64_t(it->file_size(error)), it->path()};
        if (error)
            continue;
        if (file.path.filename().string().starts_with(kTempPrefix)) {
            if (file.used < staleBefore)
                fs::remove(file.path, error);
            continue;
        }
        total += file.bytes;
        files.push_back(std::move(file));
    }
    if (total <= maxBytes)
        return total;
    std::sort(files.begin(), files.end(),
              [](const File& a, const File& b) { return a.used < b.used; });
    for (const File& file : files) {
        if (total <= maxBytes / 10 * 9)
            break;
        if (fs::remove(file.path, error))
            total -= file.bytes;
    }
    return total;
}

} // namespace zel::service
