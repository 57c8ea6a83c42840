#pragma once
// The work behind the main window's "Info" and "Help" commands. GUI-free.

#include <cstdint>
#include <string>

namespace zel {

// The traffic figures of the page on show for a traffic `t` above 0 and a
// page size `s`: traffic, page size, t * 100 / (s + 1) rounded half to even
// as the compressed share, and s - t as the bytes economized, each on a line
// of its own after a blank line (CR CR).
std::string TrafficInfoText(std::int32_t t, std::int32_t s);

// "help.htm" becomes the program folder's "page.htm", line by line with CR LF.
// A missing "help.htm" raises "File not found" before "page.htm" is touched,
// and a failed write leaves the old "page.htm" whole.
void CopyHelpPage();

} // namespace zel
