#pragma once
// What the main window keeps for the whole run and lends to the page request,
// the page store and the browser handlers.

#include <cstdint>
#include <map>
#include <string>
#include <vector>

namespace zel {

// What the store keeps of a shown page besides its files: the web address it
// came from and the archive size as "To load:" showed it. Both empty for a
// page of no address (the help page).
struct PageOrigin {
    std::string address;
    std::string archiveSizeText;
};

struct RunState {
    // Set by "Stop"; every wait of a request looks at it.
    bool stopFlag = false;
    // Bytes that came over the wire for the current page.
    std::int32_t trafficCounter = 0;
    // The page's size as the service reported it.
    std::int32_t pageSizeTotal = 0;
    // History names of this run, oldest first.
    std::vector<std::string> historyList;
    // 1-based entry that Back/Forward last showed, or the newest; 0 when empty.
    std::int32_t historyPosition = 0;
    // The origin of the program folder's "page.htm" and of each history copy.
    PageOrigin currentPage;
    std::map<std::string, PageOrigin> historyOrigins;
};

} // namespace zel
