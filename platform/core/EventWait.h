#pragma once
// Waiting on the GUI thread without freezing the window or spinning a core:
// pending events are dispatched, and an idle wait sleeps until the next event
// or the deadline, whichever comes first.

#include <cstdint>
#include <functional>

namespace zel {

// Dispatches every event that is waiting now; never blocks.
void DispatchPendingEvents();
// Sleeps until at least one event arrives or `maxMs` pass, then dispatches
// what is waiting.
void WaitForEvents(int maxMs);
// Waits for events until `done` holds or `maxMs` pass; returns `done()`.
// `done` is asked again after every batch of events, never in a loop of its own.
bool WaitUntil(const std::function<bool()>& done, int maxMs);
// Milliseconds of a monotonic clock, wrapping at 2^32 like a system tick count.
std::uint32_t TickCount();

} // namespace zel
