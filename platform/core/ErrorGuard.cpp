#include "ErrorGuard.h"

#include "MessageBox.h"

#include <string>

namespace zel {

void ShowException(const std::exception_ptr& failure) {
    std::string text;
    try {
        std::rethrow_exception(failure);
    } catch (const std::exception& e) {
        text = e.what();
    } catch (...) {
        text = "Unknown failure";
    }
    try {
        ShowMessageBox(MessageKind::Error, text, MessageButtons::Ok);
    } catch (...) {
        // Nothing more can be reported; the event loop must go on.
    }
}

} // namespace zel
