#pragma once
// A folder of the fuzz run's own under the system's temporary folder, removed
// when the run ends: targets that read files write their input only there.

#include <cstdlib>
#include <filesystem>
#include <string>

namespace zel::fuzz {

class FuzzTempDir {
public:
    FuzzTempDir() {
        std::string pattern = (std::filesystem::temp_directory_path() / "zelfuzz.XXXXXX").string();
        if (!mkdtemp(pattern.data()))
            std::abort();
        path_ = pattern;
    }
    ~FuzzTempDir() {
        std::error_code ignored;
        std::filesystem::remove_all(path_, ignored);
    }
    FuzzTempDir(const FuzzTempDir&) = delete;
    FuzzTempDir& operator=(const FuzzTempDir&) = delete;

    const std::filesystem::path& path() const { return path_; }

private:
    std::filesystem::path path_;
};

// The run's folder, made on first use.
inline const FuzzTempDir& TempDir() {
    static const FuzzTempDir dir;
    return dir;
}

} // namespace zel::fuzz
