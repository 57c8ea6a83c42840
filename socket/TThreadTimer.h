#pragma once
// A timer that fires OnTimer through a hidden window of its own, on the thread
// that made it, whenever that thread handles events (the main loop or a
// socket wait). It runs while Enabled, Interval is not 0 and OnTimer is set.
// An exception from OnTimer goes to the application's error guard and does
// not stop later firings.

#include "Events.h"
#include "HiddenWindow.h"

#include <QObject>

#include <cstdint>

namespace zel {

class TThreadTimer : public QObject {
public:
    explicit TThreadTimer(QObject* Owner = nullptr);
    ~TThreadTimer() override;

    bool Enabled() const { return FEnabled; }
    std::uint32_t Interval() const { return FInterval; }
    const TNotifyEvent& OnTimer() const { return FOnTimer; }
    // Each raises Exception "No Timer" when the system timer cannot be set.
    void SetEnabled(bool Value);
    void SetInterval(std::uint32_t Value);
    void SetOnTimer(TNotifyEvent Value);

    // Calls OnTimer; a derived timer may do more.
    virtual void Timer();

private:
    void UpdateTimer();

    bool FEnabled = true;
    std::uint32_t FInterval = 1000;
    TNotifyEvent FOnTimer;
    WindowHandle TimerWindow = nullptr;
};

} // namespace zel
