#pragma once
// The "File" -> "Save Page As..." command: asks for a file name and copies the
// page on show there with its files folder.

#include "SaveFileDialog.h"

#include <string>
#include <vector>

namespace zel {

// The save dialog's title, default extension and filters.
SaveDialogOptions SavePageDialogOptions();

// The name proposed for a page titled `title` (from `address` when the page
// has no title of its own): what a file name may carry of it, at most 100
// characters, and ".htm".
std::string ProposedFileName(const std::string& title, const std::string& address);

// The first of `candidates` that is an existing folder, or empty.
std::string FirstExistingFolder(const std::vector<std::string>& candidates);

// Asks for the name (the dialog itself asks nothing about existing files) and
// saves with the overwrite question; a cancelled dialog does nothing. The
// dialog opens in the folder of this run's last save, else in the user's
// documents or downloads folder.
void SavePageAs(const std::string& title, const std::string& address);

} // namespace zel
