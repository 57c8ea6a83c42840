#pragma once
// Event types shared by the non-visual components. An event is an optional
// callable the owner assigns; an unassigned (empty) event is skipped.
// Sender is the component that raises the event.

#include <QObject>

#include <functional>

namespace zel {

using TNotifyEvent = std::function<void(QObject* Sender)>;
// Carries one in-out flag: the handler sets Handled to take over.
using THandlerEvent = std::function<void(bool& Handled)>;

} // namespace zel
