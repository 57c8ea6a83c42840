#pragma once
// The local files a shown page may load. Pages are third-party content shown
// from local files; each may reach its own files in the page store of the
// program folder and no other file of the user:
// - "page.htm" (also the help page copied there) and its folder "page.files/";
// - a history copy "zelhistory/N.htm" and its folder "zelhistory/N.files/";
// - "help.htm" itself.
// GUI-free.

#include <QString>

namespace zel {

// The page of the store that `localPath` belongs to ("page", "zelhistory/N",
// "help"), or empty for every other file. Paths are compared with their links
// resolved, so a link inside the store that leads elsewhere does not count; a
// file that does not exist (nothing to read) is judged by its cleaned path.
QString StorePageOf(const QString& programFolder, const QString& localPath);

} // namespace zel
