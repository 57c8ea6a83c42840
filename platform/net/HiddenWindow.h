#pragma once
// Hidden message windows: invisible objects on the GUI thread that receive
// numbered messages through a procedure chosen by their window class, carry
// one owner pointer, and run numbered timers. Messages are posted as Qt events,
// so they arrive while the event loop (or a wait) dispatches events.

#include <QObject>

#include <cstdint>
#include <map>
#include <memory>
#include <string>

namespace zel {

class HiddenWindow;
using WindowHandle = HiddenWindow*; // nullptr: no window

using WindowProc = std::intptr_t (*)(WindowHandle window, std::uint32_t message,
                                     std::uintptr_t wParam, std::intptr_t lParam);

constexpr std::uint32_t WM_ACTIVATEAPP = 28;
constexpr std::uint32_t WM_TIMER = 275;

struct WindowClass {
    std::string name;
    WindowProc procedure = nullptr;
    // Bytes of per-window data; the owner slot needs room for a pointer.
    std::size_t windowExtraBytes = 0;
};

// Window classes stay registered for the whole process.
bool FindWindowClass(const std::string& name, WindowClass* found);
// False when the name is empty or taken, or the class has no procedure.
bool RegisterWindowClass(const WindowClass& windowClass);

// nullptr when the class is not registered.
WindowHandle CreateHiddenWindow(const std::string& className);
void DestroyHiddenWindow(WindowHandle window);

// The owner slot; false when the class reserved no room for it.
bool SetWindowOwner(WindowHandle window, void* owner);
void* GetWindowOwner(WindowHandle window);

// Default processing: nothing to do for a hidden window.
std::intptr_t DefWindowProc(WindowHandle window, std::uint32_t message, std::uintptr_t wParam,
                            std::intptr_t lParam);
// Hands a message to the window's procedure now.
std::intptr_t SendWindowMessage(WindowHandle window, std::uint32_t message, std::uintptr_t wParam,
                                std::intptr_t lParam);
// Queues a message; it is dropped when the window is destroyed first, or when
// `sender` has expired by the time it would be delivered (a closed socket's
// late events must not reach the socket that replaced it). GUI thread only.
void PostWindowMessage(WindowHandle window, std::uint32_t message, std::uintptr_t wParam,
                       std::intptr_t lParam, std::weak_ptr<const void> sender);

// A periodic timer posting WM_TIMER with wParam `id`; setting an existing id
// restarts it. False when no timer could be made.
bool SetWindowTimer(WindowHandle window, std::uintptr_t id, std::uint32_t intervalMs);
// No error when the timer does not run.
void KillWindowTimer(WindowHandle window, std::uintptr_t id);

class HiddenWindow : public QObject {
public:
    explicit HiddenWindow(const WindowClass& windowClass);

    const WindowClass& windowClass() const { return class_; }
    void* owner = nullptr;
    std::map<std::uintptr_t, int> timers; // window timer id -> Qt timer id

protected:
    bool event(QEvent* e) override;
    void timerEvent(QTimerEvent* e) override;

private:
    WindowClass class_;
};

} // namespace zel
