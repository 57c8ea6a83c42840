#include "ConnectedState.h"

#include <atomic>

namespace zel {

namespace {
// Read by the web engine's request filter, which may run off the GUI thread.
std::atomic<bool> offLineState{false};
} // namespace

void SetConnectedState(bool offLine) {
    offLineState.store(offLine);
}

bool IsOffLine() {
    return offLineState.load();
}

} // namespace zel
