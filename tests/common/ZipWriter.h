#pragma once
// Writes zip archives for tests, including the hostile kinds a service might
// send: any entry name ("../x", "/abs/x") and symbolic links.

#include <string>
#include <utility>
#include <vector>

namespace zel::test {

struct ZipEntry {
    ZipEntry(std::string entryName, std::string entryBytes)
        : name(std::move(entryName)), bytes(std::move(entryBytes)) {}
    // A symbolic link named `entryName` that leads to `target`.
    static ZipEntry Link(std::string entryName, std::string target) {
        ZipEntry link(std::move(entryName), {});
        link.linkTarget = std::move(target);
        return link;
    }

    std::string name;
    std::string bytes;
    std::string linkTarget; // not empty for a link
};

// Raises std::runtime_error when the archive cannot be written.
void WriteZip(const std::string& path, const std::vector<ZipEntry>& entries);
// The bytes of such an archive, as a service would send them.
std::string ZipBytes(const std::vector<ZipEntry>& entries);

} // namespace zel::test
