#pragma once
// The page store: the files of the page on show in the program's folder
// ("page.zip", "page.dat", "page.htm", "page.files/", "inZel.dat") and the
// history folder "zelhistory/" with a copy of every page fetched in this run.
// Paths use "/" as the separator and are relative to the current directory.

#include "DateTime.h"
#include "RunState.h"

#include <cstdint>
#include <functional>
#include <optional>
#include <string>

namespace zel {

// Returns after at least `ms` milliseconds, handling events all the while;
// a negative `ms` returns after one round of events.
void Pause(std::int32_t ms);

// Before a download: deletes the plain files of "page.files" (not those whose
// name begins with ".", nor sub-folders) and "page.htm". Links are deleted,
// never followed; a link in place of "page.files" becomes an empty folder.
// Failures are ignored.
void ClearCurrentPage();
// Appends "page.dat" to the existing "page.zip"; returns the bytes appended.
// File failures raise InOutError.
std::int32_t AppendSegment();
// Waits up to about 10 s for the unpacking tool to finish "page.htm": found
// once the tool has exited and the page is there, so nobody appends to a
// half-written page. Ends early, not found, when the tool exited without a
// page or the stop flag is set. Sleeps between events.
bool WaitForPage(const RunState& state, const std::function<bool()>& toolRunning);
// Appends a link back to `address` to "page.htm"; false when the file cannot
// be opened for appending or is a symbolic link.
bool AppendSourceLink(const std::string& address);

// "zelhistory/" + n + ".htm", n the nearest 32-bit integer to
// (t - 36000) * 100000, halves to even (one unit is 0.864 s).
std::string HistoryName(DateTime t);
// Copies the page on show into the history under a name from the clock that
// no other copy uses, and makes it the newest entry; the copy keeps the
// current page's origin.
void StoreInHistory(RunState& state);
// The origin of the store page at `path` (relative to the program folder):
// "page.htm" and the documents of "page.files" are the current page's, a
// history copy and the documents of its folder are that copy's. Nothing for
// any other path, or a copy of another run.
std::optional<PageOrigin> StorePageOrigin(const RunState& state, const std::string& path);
// The address of the source link that ends a fetched page's text, or empty.
std::string SourceLinkAddress(const std::string& pageText);
// Deletes this run's history copies; failures are ignored.
void ClearRunHistory(const RunState& state);
// One step back or forward; the entry to show, or nothing when the step is
// not possible (the position is then unchanged).
std::optional<std::string> HistoryBack(RunState& state);
std::optional<std::string> HistoryForward(RunState& state);

// The page size total in "inZel.dat": one 4-byte little-endian record.
// Failures raise InOutError; a failed read leaves the total unchanged.
void ReadPageSize(RunState& state);
void WritePageSize(const RunState& state);

} // namespace zel
