#pragma once
// The one guard around every entry from the event loop into program code: an
// exception that nobody caught ends only the handler that raised it and is
// shown in the error box; the event loop goes on.

#include <exception>
#include <utility>

namespace zel {

// The application's default handler: error box with the failure text.
void ShowException(const std::exception_ptr& failure);

template <class F> void Guarded(F&& handler) {
    try {
        std::forward<F>(handler)();
    } catch (...) {
        ShowException(std::current_exception());
    }
}

} // namespace zel
