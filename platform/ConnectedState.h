#pragma once
// The process-wide on-line/off-line switch. While off line the embedded web
// view loads nothing from the network, only local files; the program's own
// HTTP client is not affected.

namespace zel {

void SetConnectedState(bool offLine);
bool IsOffLine();

} // namespace zel
