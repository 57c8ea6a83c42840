#include "GuardedApplication.h"

#include "ErrorGuard.h"
#include "WidgetMessageBox.h"
#include "WidgetSaveDialog.h"

namespace zel {

GuardedApplication::GuardedApplication(int& argc, char** argv) : QApplication(argc, argv) {
    SetMessageBoxHandler(ShowWidgetMessageBox);
    SetSaveDialogHandler(RunWidgetSaveDialog);
}

bool GuardedApplication::notify(QObject* receiver, QEvent* event) {
    bool handled = false;
    Guarded([&] { handled = QApplication::notify(receiver, event); });
    return handled;
}

} // namespace zel
