#pragma once
// Creation of the socket layer's hidden windows (the socket component's and
// the timer's): the window class is registered on first use, and the owning
// object is stored in the window so its procedure can find it.

#include "HiddenWindow.h"

#include <string>

namespace zel {

// nullptr when the class cannot be registered or the window not made.
WindowHandle AllocateHiddenWindow(const std::string& ClassName, WindowProc Procedure, void* Owner);

} // namespace zel
