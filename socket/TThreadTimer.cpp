#include "TThreadTimer.h"

#include "Exception.h"
#include "MessageWindow.h"

namespace zel {

namespace {

constexpr std::uintptr_t TimerId = 1;

std::intptr_t TimerWindowProc(WindowHandle Window, std::uint32_t Message, std::uintptr_t WParam,
                              std::intptr_t LParam) {
    auto* timer = static_cast<TThreadTimer*>(GetWindowOwner(Window));
    if (!timer)
        return DefWindowProc(Window, Message, WParam, LParam);
    switch (Message) {
    case WM_TIMER:
        // A failure leaves through the event delivery, whose guard shows it.
        timer->Timer();
        return 0;
    case WM_ACTIVATEAPP:
        return 0;
    default:
        return DefWindowProc(Window, Message, WParam, LParam);
    }
}

} // namespace

TThreadTimer::TThreadTimer(QObject* Owner) : QObject(Owner) {
    TimerWindow = AllocateHiddenWindow("TmrWindowClass", TimerWindowProc, this);
}

TThreadTimer::~TThreadTimer() {
    FEnabled = false;
    UpdateTimer();
    DestroyHiddenWindow(TimerWindow);
}

void TThreadTimer::SetEnabled(bool Value) {
    if (Value == FEnabled)
        return;
    FEnabled = Value;
    UpdateTimer();
}

void TThreadTimer::SetInterval(std::uint32_t Value) {
    if (Value == FInterval)
        return;
    FInterval = Value;
    UpdateTimer();
}

void TThreadTimer::SetOnTimer(TNotifyEvent Value) {
    FOnTimer = std::move(Value);
    UpdateTimer();
}

void TThreadTimer::Timer() {
    if (FOnTimer)
        FOnTimer(this);
}

void TThreadTimer::UpdateTimer() {
    KillWindowTimer(TimerWindow, TimerId);
    if (FInterval != 0 && FEnabled && FOnTimer && !SetWindowTimer(TimerWindow, TimerId, FInterval))
        throw Exception("No Timer");
}

} // namespace zel
