#pragma once
// The "File" -> "Save Page As..." command: asks for a file name and copies the
// page on show there with its files folder.

#include "SaveFileDialog.h"

namespace zel {

// The save dialog's title, default extension and filters.
SaveDialogOptions SavePageDialogOptions();

// Asks for the name (the dialog itself asks nothing about existing files) and
// saves with the overwrite question; a cancelled dialog does nothing.
void SavePageAs();

} // namespace zel
