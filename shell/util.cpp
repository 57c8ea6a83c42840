#include "util.h"

#include "BinaryFiles.h"
#include "Exception.h"
#include "FileSystem.h"
#include "MessageBox.h"
#include "TextEdits.h"
#include "TextFile.h"

#include <filesystem>
#include <system_error>

namespace zel {

namespace {
const std::string PageFolder = "page.files";

// Whether two existing paths name the same file or folder, under any
// spelling or through a link.
bool SameEntry(const std::string& a, const std::string& b) {
    namespace fs = std::filesystem;
    std::error_code ec;
    if (!fs::exists(a, ec) || !fs::exists(b, ec))
        return false;
    bool same = fs::equivalent(a, b, ec);
    return same && !ec;
}

// Whether saving to `target` would write over the page on show: its document
// ("page.htm" of the current directory) or its files folder (the folder of
// any "page.<ext>" beside it), which would be truncated while it is read.
bool IsPageOnShow(const std::string& target) {
    return SameEntry(target, "page.htm") ||
           SameEntry(WithoutExtension(target) + ".files", PageFolder);
}

// Value of one or two hexadecimal digits, or -1.
int HexValue(const std::string& digits) {
    if (digits.empty())
        return -1;
    int value = 0;
    for (char c : digits) {
        int d = HexDigit(c);
        if (d < 0)
            return -1;
        value = value * 16 + d;
    }
    return value;
}

} // namespace

std::string WithoutExtension(const std::string& path) {
    std::size_t slash = path.rfind('/');
    std::size_t nameStart = slash == std::string::npos ? 0 : slash + 1;
    std::size_t dot = path.rfind('.');
    if (dot == std::string::npos || dot < nameStart)
        return path;
    return path.substr(0, dot);
}

std::string PageBaseName(const std::string& path) {
    std::string stem = WithoutExtension(path);
    std::size_t slash = stem.rfind('/');
    return slash == std::string::npos ? stem : stem.substr(slash + 1);
}

void SavePageFiles(const std::string& target, const std::string& workDir, bool ask) {
    SetCurrentDirectory(workDir); // a failure shows in the copy itself
    // Writing the document onto itself would truncate it before it is read.
    if (IsPageOnShow(target)) {
        if (!ask)
            throw Exception(OwnPageRefusal);
        ShowMessageBox(MessageKind::Warning, OwnPageRefusal, MessageButtons::Ok);
        return;
    }
    if (ask && FileExists(target) &&
        ShowMessageBox(MessageKind::Warning, "This file already exists. Overwrite?",
                       MessageButtons::YesNo) != MessageAnswer::Yes)
        return;
    CopyPageText(target);
    CopyPageFolder(target);
}

void CopyPageText(const std::string& target) {
    const std::string folder = PageBaseName(target) + ".files";
    // The source is opened first, so a missing page leaves the target alone.
    TextReader source("page.htm", Links::Refuse);
    TextWriter copy(target, TextWriter::Mode::Create);
    std::string line;
    while (source.readLine(line))
        copy.writeLine(ReplaceAll(line, PageFolder, folder));
    copy.close();
    source.close();
}

void CopyPageFolder(const std::string& target) {
    const std::string folder = WithoutExtension(target) + ".files";
    // When this fails, the first file copy below reports it.
    if (!DirectoryExists(folder))
        CreateDirectoryAt(folder);
    for (const std::string& name : PageFolderNames()) {
        const std::string source = PageFolder + "/" + name;
        if (!IsPlainFile(source))
            continue; // a page's files are plain files; links and sub-folders are left out
        WriteWholeFile(folder + "/" + name, ReadWholeFile(source, Links::Refuse), Links::Refuse);
    }
}

std::vector<std::string> PageFolderNames() {
    std::vector<std::string> names;
    if (IsSymbolicLink(PageFolder))
        return names;
    for (std::string& name : ListDirectory(PageFolder))
        if (!name.starts_with('.'))
            names.push_back(std::move(name));
    return names;
}

std::string DecodeLinkAddress(const std::string& text) {
    std::string out;
    for (std::size_t i = 0; i < text.size(); ++i) {
        char c = text[i] == '+' ? ' ' : text[i];
        if (c != '%') {
            out += c;
            continue;
        }
        std::string digits = text.substr(i + 1, 2);
        i += digits.size();
        int value = HexValue(digits); // a "+" here was a blank already: no digit
        if (value >= 1 && value <= 255)
            out += static_cast<char>(value);
    }
    return out;
}

std::string WebAddressOf(const std::string& requested) {
    const std::string prefix = "http://";
    if (!requested.starts_with(prefix))
        return requested;
    const std::string inner = LowerCase(requested.substr(prefix.size(), 8));
    const bool wrapped = inner.starts_with("http://") || inner == "https://";
    return wrapped ? requested.substr(prefix.size()) : requested;
}

} // namespace zel
