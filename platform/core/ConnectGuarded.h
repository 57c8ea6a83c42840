#pragma once
// Connects a signal to a handler of the program through the error guard: Qt
// does not carry exceptions through its signal code, so a failure must end
// in the guard before it gets there.

#include "ErrorGuard.h"

#include <QObject>

#include <type_traits>

namespace zel {

// Like QObject::connect with a member function; the handler may take fewer
// of the signal's arguments, as with connect.
template <class Sender, class Signal, class Receiver, class... Args>
QMetaObject::Connection ConnectGuarded(const Sender* sender, Signal signal,
                                       std::type_identity_t<Receiver>* receiver,
                                       void (Receiver::*handler)(Args...)) {
    return QObject::connect(sender, signal, receiver, [receiver, handler](Args... args) {
        Guarded([&] { (receiver->*handler)(args...); });
    });
}

} // namespace zel
