// ZELbrowser: a web browser that fetches pages through a compressing service.
// The program entry: prepare the web engine, make the program's own folder the
// working directory (every file of the program is named relative to it),
// create the windows in their order and run the event loop.

#include "FileSystem.h"
#include "GuardedApplication.h"
#include "ProgramWindows.h"
#include "WebEngineSetup.h"

int main(int argc, char** argv) {
    zel::PrepareWebEngine();
    zel::GuardedApplication app(argc, argv);
    zel::SetCurrentDirectory(QCoreApplication::applicationDirPath().toStdString());
    auto mainWindow = zel::CreateProgramWindows();
    mainWindow->show();
    return app.exec();
}
