#pragma once
// The file-save dialog as a Qt widget, installed by the application object.

#include "SaveFileDialog.h"

namespace zel {

std::optional<std::string> RunWidgetSaveDialog(const SaveDialogOptions& options);

} // namespace zel
