#pragma once
// The shell's small file and text utilities: copying the page on show under
// another name, decoding a followed link's address.
//
// Names are relative to the current directory, the program's folder, and use
// "/" as the path separator.

#include <string>
#include <vector>

namespace zel {

// Copies "page.htm" to `target` and the files of "page.files" into the folder
// beside it (target without its last extension + ".files"), rewriting the
// folder references in the document. `workDir` becomes the current directory
// first. With `ask`, an existing target is overwritten only after the user
// agrees. A target whose document or files folder is the page on show itself
// ("page.htm", or "page.<ext>" beside it, whose folder is "page.files") is
// refused before anything is written: a warning box with `ask`, otherwise a
// raised Exception. The page's files are never read through a symbolic link.
// File failures raise InOutError.
void SavePageFiles(const std::string& target, const std::string& workDir, bool ask);

// "page.htm" to `target` line by line (CR LF), every "page.files" replaced by
// the target's base name + ".files".
void CopyPageText(const std::string& target);
// Every plain file of "page.files" whose name does not begin with "." into the
// target's files folder, created when missing. Links, sub-folders and other
// special entries are left out.
void CopyPageFolder(const std::string& target);

// The names in "page.files" that do not begin with "."; none when
// "page.files" is itself a link, which may lead to any of the user's folders.
std::vector<std::string> PageFolderNames();

// The file name of `path` without its folder and its last extension.
std::string PageBaseName(const std::string& path);
// `path` without the last extension of its file name.
std::string WithoutExtension(const std::string& path);

// "+" becomes a blank; "%" with up to two hexadecimal digits becomes the
// character of that code (1..255); anything else after a "%" is dropped with it.
std::string DecodeLinkAddress(const std::string& text);

// The web address a request address names: the request puts "http://" before
// any address, also one with a scheme of its own ("http://https://x.example/"),
// which the service takes off again; shown, that prefix would only puzzle.
std::string WebAddressOf(const std::string& requested);

// Text of the refusal to save over the page on show or its files.
inline constexpr const char* OwnPageRefusal =
    "This is the page on show; choose another name or folder.";

} // namespace zel
