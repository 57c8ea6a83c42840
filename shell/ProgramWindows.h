#pragma once
// The windows of a run, created in their fixed order: the main window (whose
// creation reads the settings), then the options dialog filled from those
// settings, the About box and the statistics window, all owned by the main
// window. Used by the program entry and by tests that start the program.

#include "TForm1.h"

#include <memory>

namespace zel {

std::unique_ptr<TForm1> CreateProgramWindows();

} // namespace zel
