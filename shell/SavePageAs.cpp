#include "SavePageAs.h"

#include "FileSystem.h"
#include "SaveFileDialog.h"
#include "util.h"

namespace zel {

SaveDialogOptions SavePageDialogOptions() {
    SaveDialogOptions options;
    options.title = "Save Page As...";
    options.defaultExtension = "htm";
    options.filters = {{"*.htm", "*.htm"}, {"*.*", "*.*"}};
    options.filterIndex = 0;
    return options;
}

void SavePageAs() {
    // Noted before the dialog, which may change the current directory.
    const std::string workDir = CurrentDirectory();
    std::optional<std::string> target = RunSaveDialog(SavePageDialogOptions());
    if (!target)
        return;
    SavePageFiles(*target, workDir, true);
}

} // namespace zel
