#include "EventWait.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <QTimer>

#include <chrono>

namespace zel {

void DispatchPendingEvents() {
    QCoreApplication::processEvents(QEventLoop::AllEvents);
}

void WaitForEvents(int maxMs) {
    // The timer is the event that ends an idle wait at the deadline.
    QTimer deadline;
    deadline.setSingleShot(true);
    deadline.start(maxMs < 0 ? 0 : maxMs);
    QCoreApplication::processEvents(QEventLoop::AllEvents | QEventLoop::WaitForMoreEvents);
}

bool WaitUntil(const std::function<bool()>& done, int maxMs) {
    const std::uint32_t start = TickCount();
    for (;;) {
        if (done())
            return true;
        const std::uint32_t elapsed = TickCount() - start;
        if (elapsed >= static_cast<std::uint32_t>(maxMs < 0 ? 0 : maxMs))
            return false;
        WaitForEvents(maxMs - static_cast<int>(elapsed));
    }
}

std::uint32_t TickCount() {
    auto now = std::chrono::steady_clock::now().time_since_epoch();
    return static_cast<std::uint32_t>(
        std::chrono::duration_cast<std::chrono::milliseconds>(now).count());
}

} // namespace zel
