#include "PageStore.h"

#include "BinaryFiles.h"
#include "EventWait.h"
#include "FileSystem.h"
#include "InOutError.h"
#include "Numbers.h"
#include "RecordBytes.h"
#include "RecordFile.h"
#include "TextFile.h"
#include "util.h"

#include <algorithm>
#include <memory>

namespace zel {

namespace {
// The page may take about 10 s to appear (1001 passes of 10 ms).
constexpr int PageWaitMs = 10010;
constexpr std::int32_t SourceLinkDelayMs = 50;
const std::string SourceLinkStart = "<BR><a href=\"";
const std::string SourceLinkEnd = "\">This page</a><BR>";

std::string HistoryNameOf(std::int64_t n) {
    return "zelhistory/" + std::to_string(n) + ".htm";
}

bool AnyEntryAt(const std::string& path) {
    return FileExists(path) || DirectoryExists(path);
}

// Free when neither this run's list nor the disk (an older run, or another
// instance running now) has a copy by that number.
bool IsFreeName(const RunState& state, const std::string& name) {
    if (std::find(state.historyList.begin(), state.historyList.end(), name) !=
        state.historyList.end())
        return false;
    const std::string stem = WithoutExtension(name);
    return !AnyEntryAt(stem + ".htm") && !AnyEntryAt(stem + ".files");
}

std::int64_t HistoryNumber(DateTime t) {
    return static_cast<std::int32_t>(RoundHalfEven((t - 36000.0) * 100000.0));
}
} // namespace

void Pause(std::int32_t ms) {
    const std::uint32_t start = TickCount();
    if (ms < 0) {
        DispatchPendingEvents();
        return;
    }
    const auto wanted = static_cast<std::uint32_t>(ms);
    std::uint32_t elapsed = 0;
    do {
        // Sleeps until an event comes or the rest of the time is over.
        WaitForEvents(static_cast<int>(wanted - elapsed));
        elapsed = TickCount() - start;
    } while (elapsed < wanted);
}

void ClearCurrentPage() {
    // A link in place of the folder would lead the unpacking tool into some
    // other folder of the user: it goes, and an empty folder takes its place.
    if (IsSymbolicLink("page.files") && DeleteFileAt("page.files"))
        CreateDirectoryAt("page.files");
    for (const std::string& name : PageFolderNames())
        DeleteFileAt("page.files/" + name); // refuses sub-folders; a link goes, not its target
    DeleteFileAt("page.htm");               // also a link, even one that leads nowhere
}

std::int32_t AppendSegment() {
    const std::string segment = ReadWholeFile("page.dat");
    AppendToFile("page.zip", segment);
    return static_cast<std::int32_t>(segment.size());
}

bool WaitForPage(const RunState& state, const std::function<bool()>& toolRunning) {
    bool found = false;
    WaitUntil(
        [&] {
            // The tool's page is whole once the tool has exited and "page.htm"
            // is there as a regular file; this stands for the archive-type
            // attribute test of a system with file attribute words.
            const bool exited = !toolRunning();
            found = exited && FileExists("page.htm");
            return exited || state.stopFlag; // "Stop" sets the flag in here
        },
        PageWaitMs);
    return found;
}

std::string SourceLinkAddress(const std::string& pageText) {
    if (!pageText.ends_with(SourceLinkEnd))
        return {};
    const std::size_t start = pageText.rfind(SourceLinkStart);
    if (start == std::string::npos)
        return {};
    const std::size_t from = start + SourceLinkStart.size();
    const std::size_t to = pageText.size() - SourceLinkEnd.size();
    if (from > to)
        return {}; // the two share their quote: no address between them
    const std::string address = pageText.substr(from, to - from);
    // A quote inside would have ended the link's address earlier.
    return address.find('"') == std::string::npos ? address : std::string();
}

std::optional<PageOrigin> StorePageOrigin(const RunState& state, const std::string& path) {
    if (path == "page.htm" || path.starts_with("page.files/"))
        return state.currentPage;
    if (!path.starts_with("zelhistory/"))
        return std::nullopt;
    // "zelhistory/N.htm", or a document of its folder "zelhistory/N.files/".
    const std::size_t folderEnd = path.find(".files/");
    const std::string entry =
        folderEnd == std::string::npos ? path : path.substr(0, folderEnd) + ".htm";
    const auto found = state.historyOrigins.find(entry);
    if (found == state.historyOrigins.end())
        return std::nullopt;
    return found->second;
}

bool AppendSourceLink(const std::string& address) {
    Pause(SourceLinkDelayMs);
    std::unique_ptr<TextWriter> page;
    try {
        page = std::make_unique<TextWriter>("page.htm", TextWriter::Mode::Append, Links::Refuse);
    } catch (const InOutError&) {
        return false; // missing, still held by the unpacking tool, or a link
    }
    page->write(SourceLinkStart + address + SourceLinkEnd);
    page->close();
    return true;
}

std::string HistoryName(DateTime t) {
    return HistoryNameOf(HistoryNumber(t));
}

void StoreInHistory(RunState& state) {
    // Two pages within one unit of the clock name would share it: the later
    // one takes the next free number instead of overwriting the first.
    std::int64_t n = HistoryNumber(Now());
    while (!IsFreeName(state, HistoryNameOf(n)))
        ++n;
    const std::string name = HistoryNameOf(n);
    SavePageFiles(name, CurrentDirectory(), false);
    state.historyOrigins[name] = state.currentPage;
    state.historyList.push_back(name);
    state.historyPosition = static_cast<std::int32_t>(state.historyList.size());
}

void ClearRunHistory(const RunState& state) {
    for (const std::string& entry : state.historyList) {
        const std::string base = entry.substr(0, entry.size() < 4 ? 0 : entry.size() - 4);
        const std::string folder = base + ".files";
        for (const std::string& name : ListDirectory(folder))
            if (!name.starts_with('.'))
                DeleteFileAt(folder + "/" + name);
        if (DirectoryExists(folder))
            RemoveDirectoryAt(folder); // a folder still holding dot-files stays
        if (FileExists(base + ".htm"))
            DeleteFileAt(base + ".htm");
    }
}

std::optional<std::string> HistoryBack(RunState& state) {
    if (state.historyPosition <= 1)
        return std::nullopt;
    --state.historyPosition;
    return state.historyList.at(static_cast<std::size_t>(state.historyPosition - 1));
}

std::optional<std::string> HistoryForward(RunState& state) {
    if (state.historyPosition >= static_cast<std::int32_t>(state.historyList.size()))
        return std::nullopt;
    ++state.historyPosition;
    return state.historyList.at(static_cast<std::size_t>(state.historyPosition - 1));
}

void ReadPageSize(RunState& state) {
    RecordFile file("inZel.dat", 4);
    file.reset(RecordFile::Access::ReadOnly);
    RecordBytes<4> record;
    file.read(record.data());
    file.close();
    state.pageSizeTotal = record.int32At(0);
}

void WritePageSize(const RunState& state) {
    RecordBytes<4> record;
    record.setInt32(0, state.pageSizeTotal);
    RecordFile file("inZel.dat", 4);
    file.rewrite();
    file.write(record.data());
    file.close();
}

} // namespace zel
