#pragma once
// The page archive: "page.htm" and "page.files/<name>" file entries only (no
// folders, no links), names from [a-z0-9._-], images stored and text deflated,
// plain file modes. Written to a temporary file beside the target and renamed,
// so a reader never sees half an archive.

#include <cstdint>
#include <string>
#include <vector>

namespace zel::service {

// The folder beside "page.htm" that holds everything the page shows.
inline constexpr char kFilesFolder[] = "page.files/";

class PageArchive {
public:
    // `name` is "page.htm" or "page.files/<name>"; anything else is refused
    // (std::invalid_argument), as the browser would refuse it too.
    void Add(const std::string& name, std::string bytes, bool compress);

    // Throws PageError when the archive cannot be written; returns its size.
    std::int64_t WriteTo(const std::string& path) const;

    // An archive made before, as its bytes, written the same way.
    static std::int64_t WriteBytes(const std::string& path, const std::string& bytes);

    static bool IsValidEntryName(const std::string& name);

private:
    struct Entry {
        std::string name;
        std::string bytes;
        bool compress;
    };
    std::vector<Entry> entries_;
};

} // namespace zel::service
