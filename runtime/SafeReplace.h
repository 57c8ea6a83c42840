#pragma once
// Rewrites a file without ever leaving it half-written: the new content goes
// to a temporary file beside it, which replaces the old file only once it is
// complete and on the disk. The new file keeps the old one's permissions. A
// failure leaves the old file as it was and raises.

#include <functional>
#include <string>

namespace zel {

// `write` receives the temporary file's name and writes the whole new content.
void ReplaceFile(const std::string& path, const std::function<void(const std::string&)>& write);

} // namespace zel
