#pragma once
// The check a page archive passes before the unpacking tool may see it. The
// archive comes over plain HTTP, so anyone on the way may have made it; the
// tool restores what the archive says, links included. Only the page's own
// files may come out of it: the document "page.htm" and what lies under the
// folder "page.files/". GUI-free.

#include <optional>
#include <string>

namespace zel {

// Reads the archive's directory. Nothing when every entry is a plain file or
// folder of the page; otherwise why the archive must not be unpacked, for
// the user: a link or special file, an encrypted file, an absolute name, a
// ".." part, a backslash or a control character in a name, an entry outside
// the page, or an archive that cannot be read at all.
std::optional<std::string> CheckPageArchive(const std::string& path);

} // namespace zel
