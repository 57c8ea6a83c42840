#pragma once
// The local files a shown page may load. Pages are third-party content shown
// from local files; each may reach its own files in the page store of the
// program folder and no other file of the user:
// - "page.htm" (also the help page copied there) and its folder "page.files/";
// - a history copy "zelhistory/N.htm" and its folder "zelhistory/N.files/";
// - "help.htm" itself.
// Of these files only a few may show as documents: a stored image, style
// sheet or font never does, whatever it holds. GUI-free.

#include <QString>

namespace zel {

// The page of the store that `localPath` belongs to ("page", "zelhistory/N",
// "help"), or empty for every other file. Paths are compared with their links
// resolved, so a link inside the store that leads elsewhere does not count; a
// file that does not exist (nothing to read) is judged by its cleaned path.
QString StorePageOf(const QString& programFolder, const QString& localPath);

// How a file of the store may show: as a page ("page.htm", "help.htm",
// "zelhistory/N.htm" with N a decimal number), as a frame of a page (the
// frame documents the archive names "pageK.htm" in the page's files folder),
// or not at all. Judged like StorePageOf.
enum class StoreDocument { None, Page, Frame };
StoreDocument StoreDocumentOf(const QString& programFolder, const QString& localPath);

} // namespace zel
