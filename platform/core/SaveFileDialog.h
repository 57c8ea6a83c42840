#pragma once
// The system's file-save dialog, replaceable by tests like the message boxes.
// GUI-free: the application object installs the dialog as a widget
// (WidgetSaveDialog.h).

#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace zel {

struct SaveDialogFilter {
    std::string display;
    std::string pattern;
};

struct SaveDialogOptions {
    std::string title;
    // Added when the user types a name without an extension ("htm", no dot).
    std::string defaultExtension;
    std::vector<SaveDialogFilter> filters;
    // Zero-based index of the filter selected at first.
    int filterIndex = 0;
    // The folder the dialog opens in and the file name it proposes; empty
    // for the dialog's own choice.
    std::string folder;
    std::string fileName;
};

// The chosen file's full path, or nothing when the user cancels. The dialog
// does not ask about an existing file; the caller does.
std::optional<std::string> RunSaveDialog(const SaveDialogOptions& options);

using SaveDialogHandler = std::function<std::optional<std::string>(const SaveDialogOptions&)>;
// Sets how the dialog runs; returns the old handler. With none, the dialog is
// cancelled at once.
SaveDialogHandler SetSaveDialogHandler(SaveDialogHandler handler);

} // namespace zel
