#include "FileSystem.h"

#include <dirent.h>
#include <sys/stat.h>
#include <unistd.h>

#include <climits>

namespace zel {

namespace {
bool statOf(const std::string& path, struct stat& st) {
    return ::stat(path.c_str(), &st) == 0;
}
} // namespace

bool FileExists(const std::string& path) {
    struct stat st {};
    return statOf(path, st) && !S_ISDIR(st.st_mode);
}

bool DirectoryExists(const std::string& path) {
    struct stat st {};
    return statOf(path, st) && S_ISDIR(st.st_mode);
}

bool IsSymbolicLink(const std::string& path) {
    struct stat st {};
    return ::lstat(path.c_str(), &st) == 0 && S_ISLNK(st.st_mode);
}

bool IsPlainFile(const std::string& path) {
    struct stat st {};
    return ::lstat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

std::int64_t FileSizeOf(const std::string& path) {
    struct stat st {};
    if (!statOf(path, st) || S_ISDIR(st.st_mode))
        return -1;
    return static_cast<std::int64_t>(st.st_size);
}

std::vector<std::string> ListDirectory(const std::string& path) {
    std::vector<std::string> names;
    DIR* dir = ::opendir(path.c_str());
    if (!dir)
        return names;
    while (dirent* entry = ::readdir(dir)) {
        std::string name = entry->d_name;
        if (name != "." && name != "..")
            names.push_back(std::move(name));
    }
    ::closedir(dir);
    return names;
}

bool DeleteFileAt(const std::string& path) {
    struct stat st {};
    return ::lstat(path.c_str(), &st) == 0 && !S_ISDIR(st.st_mode) && ::unlink(path.c_str()) == 0;
}

bool CreateDirectoryAt(const std::string& path) {
    return ::mkdir(path.c_str(), 0755) == 0;
}

bool RemoveDirectoryAt(const std::string& path) {
    return ::rmdir(path.c_str()) == 0;
}

std::string CurrentDirectory() {
    char buffer[PATH_MAX];
    return ::getcwd(buffer, sizeof buffer) ? std::string(buffer) : std::string();
}

bool SetCurrentDirectory(const std::string& path) {
    return ::chdir(path.c_str()) == 0;
}

} // namespace zel
