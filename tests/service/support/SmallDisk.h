#pragma once
// A small file system of the test's own (tmpfs) that a test can fill up and
// free again, to see what the service does when the disk is full. Mounting
// needs root; Mounted() tells whether it worked.

#include "ServiceTestSupport.h"

#include <cstdint>
#include <filesystem>
#include <string>

namespace zel::service::test {

class SmallDisk {
public:
    explicit SmallDisk(std::int64_t bytes);
    ~SmallDisk();
    SmallDisk(const SmallDisk&) = delete;
    SmallDisk& operator=(const SmallDisk&) = delete;

    bool Mounted() const { return mounted_; }
    const std::filesystem::path& Path() const { return folder_.Path(); }
    // Fills every free byte with a filler file; Free() removes it.
    void Fill();
    void Free();

private:
    TempDir folder_;
    bool mounted_ = false;
};

} // namespace zel::service::test
