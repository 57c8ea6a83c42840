#include "SavePageAs.h"

#include "FileSystem.h"
#include "SaveFileDialog.h"
#include "Utf8.h"
#include "util.h"

#include <QStandardPaths>

#include <string_view>

namespace zel {

namespace {
constexpr std::size_t MaxNameChars = 100;

// The folder of this run's last save.
std::string& LastSaveFolder() {
    static std::string folder;
    return folder;
}

std::string UserFolder(QStandardPaths::StandardLocation location) {
    return QStandardPaths::writableLocation(location).toStdString();
}

// Characters no file name should carry: path separators, those other
// systems forbid, and control bytes.
bool Unsafe(char c) {
    return static_cast<unsigned char>(c) < 0x20 || c == 0x7F ||
           std::string_view("/\\:*?\"<>|").find(c) != std::string_view::npos;
}

// "http://host/path" gives "host".
std::string HostOf(const std::string& address) {
    const std::size_t scheme = address.find("://");
    const std::size_t start = scheme == std::string::npos ? 0 : scheme + 3;
    return address.substr(start, address.find('/', start) - start);
}
} // namespace

SaveDialogOptions SavePageDialogOptions() {
    SaveDialogOptions options;
    options.title = "Save Page As...";
    options.defaultExtension = "htm";
    options.filters = {{"*.htm", "*.htm"}, {"*.*", "*.*"}};
    options.filterIndex = 0;
    return options;
}

std::string ProposedFileName(const std::string& title, const std::string& address) {
    std::string name;
    for (char c : title.empty() ? HostOf(address) : title)
        if (!Unsafe(c) && !(c == ' ' && (name.empty() || name.back() == ' ')))
            name += c;
    name = CutUtf8Chars(name, MaxNameChars);
    while (!name.empty() && (name.back() == ' ' || name.back() == '.'))
        name.pop_back();
    // A leading dot would hide the file.
    name.erase(0, name.find_first_not_of(". "));
    return (name.empty() ? "page" : name) + ".htm";
}

std::string FirstExistingFolder(const std::vector<std::string>& candidates) {
    for (const std::string& folder : candidates)
        if (!folder.empty() && DirectoryExists(folder))
            return folder;
    return {};
}

void SavePageAs(const std::string& title, const std::string& address) {
    // Noted before the dialog, which may change the current directory.
    const std::string workDir = CurrentDirectory();
    SaveDialogOptions options = SavePageDialogOptions();
    options.folder = FirstExistingFolder(
        {LastSaveFolder(), UserFolder(QStandardPaths::DocumentsLocation),
         UserFolder(QStandardPaths::DownloadLocation), UserFolder(QStandardPaths::HomeLocation)});
    options.fileName = ProposedFileName(title, address);
    std::optional<std::string> target = RunSaveDialog(options);
    if (!target)
        return;
    LastSaveFolder() = target->substr(0, target->rfind('/'));
    SavePageFiles(*target, workDir, true);
}

} // namespace zel
