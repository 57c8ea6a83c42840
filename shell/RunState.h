#pragma once
// What the main window keeps for the whole run and lends to the page request,
// the page store and the browser handlers.

#include <cstdint>
#include <string>
#include <vector>

namespace zel {

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
};

} // namespace zel
