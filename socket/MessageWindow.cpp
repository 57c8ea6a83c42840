#include "MessageWindow.h"

namespace zel {

WindowHandle AllocateHiddenWindow(const std::string& ClassName, WindowProc Procedure, void* Owner) {
    if (!FindWindowClass(ClassName, nullptr)) {
        // Room for the owner pointer and nothing else.
        WindowClass windowClass{ClassName, Procedure, sizeof(void*)};
        if (!RegisterWindowClass(windowClass))
            return nullptr;
    }
    WindowHandle window = CreateHiddenWindow(ClassName);
    if (window && Owner)
        SetWindowOwner(window, Owner);
    return window;
}

} // namespace zel
