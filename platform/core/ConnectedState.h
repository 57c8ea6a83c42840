#pragma once
// The process-wide on-line/off-line switch that "Work Off Line" and "On Line"
// set. The embedded web view takes nothing from the network in either state
// (WebBrowser.h); the program's own HTTP client is not affected.

namespace zel {

void SetConnectedState(bool offLine);
bool IsOffLine();

} // namespace zel
