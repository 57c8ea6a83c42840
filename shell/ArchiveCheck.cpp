#include "ArchiveCheck.h"

#include "Utf8.h"

#include <zip.h>

#include <sys/stat.h>

#include <algorithm>
#include <memory>
#include <vector>

namespace zel {

namespace {
const std::string Refused = "The page archive cannot be shown: ";
constexpr std::size_t ShownNameBytes = 120;

struct ArchiveCloser {
    void operator()(zip_t* archive) const { zip_discard(archive); }
};
using Archive = std::unique_ptr<zip_t, ArchiveCloser>;

bool isControl(char c) {
    return static_cast<unsigned char>(c) < 0x20 || c == 0x7F;
}

// A name as a message may show it: control characters as "?", cut short.
std::string shown(const std::string& name) {
    std::string out = CutUtf8(name, ShownNameBytes);
    std::replace_if(out.begin(), out.end(), isControl, '?');
    return out.size() < name.size() ? out + "..." : out;
}

std::vector<std::string> partsOf(const std::string& name) {
    std::vector<std::string> parts;
    std::size_t from = 0;
    for (std::size_t slash; (slash = name.find('/', from)) != std::string::npos; from = slash + 1)
        parts.push_back(name.substr(from, slash - from));
    parts.push_back(name.substr(from));
    return parts;
}

// Where the page may put things: the file "page.htm", the folder
// "page.files/" and, below it, names made of plain parts ("a.gif", "sub/").
bool isPagePlace(const std::string& name, bool folder) {
    if (name == "page.htm")
        return !folder;
    const std::string top = "page.files/";
    if (name == top)
        return folder;
    if (!name.starts_with(top))
        return false;
    std::vector<std::string> parts = partsOf(name.substr(top.size()));
    if (folder && parts.back().empty())
        parts.pop_back(); // the slash that ends a folder's name
    for (const std::string& part : parts)
        if (part.empty() || part == ".")
            return false;
    return true;
}

// Why a name may not be unpacked, for an entry that is a folder or not.
std::optional<std::string> nameRefusal(const std::string& name, bool folder) {
    if (name.empty())
        return Refused + "it holds a file without a name.";
    if (std::any_of(name.begin(), name.end(), isControl))
        return Refused + "it holds a name with a control character: " + shown(name);
    if (name.find('\\') != std::string::npos)
        return Refused + "it holds a name with a backslash: " + shown(name);
    if (name.front() == '/')
        return Refused + "it holds an absolute file name: " + shown(name);
    for (const std::string& part : partsOf(name))
        if (part == "..")
            return Refused + "it holds a name that leads out of its folder: " + shown(name);
    const std::string place = folder && name.back() != '/' ? name + "/" : name;
    if (!isPagePlace(place, folder))
        return Refused + "it holds a file outside page.htm and page.files: " + shown(name);
    return std::nullopt;
}

// The Unix file type kept in the upper half of the external attributes;
// 0 where the archive keeps none.
mode_t fileTypeOf(zip_t* archive, zip_uint64_t index) {
    zip_uint8_t system = 0;
    zip_uint32_t attributes = 0;
    if (zip_file_get_external_attributes(archive, index, 0, &system, &attributes) != 0)
        return 0;
    return static_cast<mode_t>(attributes >> 16) & S_IFMT;
}

// The name is the one the unpacking tool uses: where an Info-ZIP Unicode path
// field stands in for the stored name, libzip gives that field's name too. A
// NUL byte inside a stored name reads here as a character of the name, so the
// longer name is judged; the part before it, which C tools see, lies in the
// same place.
std::optional<std::string> entryRefusal(zip_t* archive, zip_uint64_t index) {
    const char* stored = zip_get_name(archive, index, ZIP_FL_ENC_RAW);
    if (!stored)
        return Refused + "an entry's name cannot be read.";
    const std::string name = stored;
    const mode_t type = fileTypeOf(archive, index);
    if (type == S_IFLNK)
        return Refused + "it holds a symbolic link: " + shown(name);
    if (type != 0 && type != S_IFREG && type != S_IFDIR)
        return Refused + "it holds a special file: " + shown(name);
    zip_stat_t stat;
    zip_stat_init(&stat);
    if (zip_stat_index(archive, index, ZIP_FL_ENC_RAW, &stat) != 0)
        return Refused + "an entry cannot be read: " + shown(name);
    if ((stat.valid & ZIP_STAT_ENCRYPTION_METHOD) && stat.encryption_method != ZIP_EM_NONE)
        return Refused + "it holds an encrypted file: " + shown(name);
    return nameRefusal(name, type == S_IFDIR || name.ends_with('/'));
}
} // namespace

std::optional<std::string> CheckPageArchive(const std::string& path) {
    int code = 0;
    Archive archive(zip_open(path.c_str(), ZIP_RDONLY | ZIP_CHECKCONS, &code));
    if (!archive) {
        zip_error_t error;
        zip_error_init_with_code(&error, code);
        std::string reason = Refused + "it cannot be read (" + zip_error_strerror(&error) + ").";
        zip_error_fini(&error);
        return reason;
    }
    const zip_int64_t count = zip_get_num_entries(archive.get(), 0);
    for (zip_int64_t i = 0; i < count; ++i)
        if (std::optional<std::string> refusal =
                entryRefusal(archive.get(), static_cast<zip_uint64_t>(i)))
            return refusal;
    return std::nullopt;
}

} // namespace zel
