#include "SaveFileDialog.h"

#include <utility>

namespace zel {

namespace {
SaveDialogHandler& handlerStore() {
    static SaveDialogHandler handler;
    return handler;
}
} // namespace

std::optional<std::string> RunSaveDialog(const SaveDialogOptions& options) {
    if (handlerStore())
        return handlerStore()(options);
    return std::nullopt;
}

SaveDialogHandler SetSaveDialogHandler(SaveDialogHandler handler) {
    return std::exchange(handlerStore(), std::move(handler));
}

} // namespace zel
