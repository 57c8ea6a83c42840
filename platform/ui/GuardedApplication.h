#pragma once
// The application object: every event Qt delivers to program code passes
// through the error guard, so no exception ever crosses the event loop. From
// its construction on, message boxes and the save dialog are widgets.

#include <QApplication>

namespace zel {

class GuardedApplication : public QApplication {
public:
    GuardedApplication(int& argc, char** argv);
    bool notify(QObject* receiver, QEvent* event) override;
};

} // namespace zel
