#include "HiddenWindow.h"

#include <QCoreApplication>
#include <QEvent>
#include <QTimerEvent>

#include <mutex>
#include <vector>

namespace zel {

namespace {

std::mutex classesLock;
std::vector<WindowClass>& Classes() {
    static std::vector<WindowClass> classes;
    return classes;
}

// The registered class of that name, or nullptr; the caller holds the lock.
const WindowClass* Registered(const std::string& name) {
    for (const WindowClass& c : Classes())
        if (c.name == name)
            return &c;
    return nullptr;
}

const QEvent::Type PostedMessageType = static_cast<QEvent::Type>(QEvent::registerEventType());

class PostedMessage : public QEvent {
public:
    PostedMessage(std::uint32_t message, std::uintptr_t wParam, std::intptr_t lParam,
                  std::weak_ptr<const void> sender)
        : QEvent(PostedMessageType), message(message), wParam(wParam), lParam(lParam),
          sender(std::move(sender)) {}
    std::uint32_t message;
    std::uintptr_t wParam;
    std::intptr_t lParam;
    std::weak_ptr<const void> sender;
};

} // namespace

bool FindWindowClass(const std::string& name, WindowClass* found) {
    std::lock_guard lock(classesLock);
    const WindowClass* c = Registered(name);
    if (c && found)
        *found = *c;
    return c != nullptr;
}

bool RegisterWindowClass(const WindowClass& windowClass) {
    if (windowClass.name.empty() || !windowClass.procedure)
        return false;
    std::lock_guard lock(classesLock);
    if (Registered(windowClass.name))
        return false;
    Classes().push_back(windowClass);
    return true;
}

WindowHandle CreateHiddenWindow(const std::string& className) {
    WindowClass windowClass;
    if (!FindWindowClass(className, &windowClass))
        return nullptr;
    return new HiddenWindow(windowClass);
}

void DestroyHiddenWindow(WindowHandle window) {
    delete window; // drops its queued messages and kills its timers
}

bool SetWindowOwner(WindowHandle window, void* owner) {
    if (!window || window->windowClass().windowExtraBytes < sizeof(void*))
        return false;
    window->owner = owner;
    return true;
}

void* GetWindowOwner(WindowHandle window) {
    return window ? window->owner : nullptr;
}

std::intptr_t DefWindowProc(WindowHandle, std::uint32_t, std::uintptr_t, std::intptr_t) {
    return 0;
}

std::intptr_t SendWindowMessage(WindowHandle window, std::uint32_t message, std::uintptr_t wParam,
                                std::intptr_t lParam) {
    if (!window)
        return 0;
    return window->windowClass().procedure(window, message, wParam, lParam);
}

void PostWindowMessage(WindowHandle window, std::uint32_t message, std::uintptr_t wParam,
                       std::intptr_t lParam, std::weak_ptr<const void> sender) {
    if (window)
        QCoreApplication::postEvent(window,
                                    new PostedMessage(message, wParam, lParam, std::move(sender)));
}

bool SetWindowTimer(WindowHandle window, std::uintptr_t id, std::uint32_t intervalMs) {
    if (!window || intervalMs > static_cast<std::uint32_t>(INT32_MAX))
        return false;
    KillWindowTimer(window, id);
    // Precise: a time-out must never fire before its interval has passed.
    int qtId = window->startTimer(static_cast<int>(intervalMs), Qt::PreciseTimer);
    if (qtId == 0)
        return false;
    window->timers[id] = qtId;
    return true;
}

void KillWindowTimer(WindowHandle window, std::uintptr_t id) {
    if (!window)
        return;
    auto it = window->timers.find(id);
    if (it == window->timers.end())
        return;
    window->killTimer(it->second);
    window->timers.erase(it);
}

HiddenWindow::HiddenWindow(const WindowClass& windowClass) : class_(windowClass) {}

bool HiddenWindow::event(QEvent* e) {
    if (e->type() != PostedMessageType)
        return QObject::event(e);
    auto* posted = static_cast<PostedMessage*>(e);
    if (posted->sender.expired())
        return true;
    SendWindowMessage(this, posted->message, posted->wParam, posted->lParam);
    return true;
}

void HiddenWindow::timerEvent(QTimerEvent* e) {
    for (const auto& [id, qtId] : timers) {
        if (qtId == e->timerId()) {
            SendWindowMessage(this, WM_TIMER, id, 0);
            return;
        }
    }
}

} // namespace zel
