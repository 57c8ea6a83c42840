// ZELbrowser: a web browser that fetches pages through a compressing service.
// The program entry: prepare the web engine, make the program's own folder the
// working directory (every file of the program is named relative to it),
// create the windows in their order and run the event loop.
// The program folder is the executable's folder; an installed program is
// started by its launcher, which names the user's own folder in
// ZEL_PROGRAM_FOLDER.

#include "FileSystem.h"
#include "GuardedApplication.h"
#include "ProgramWindows.h"
#include "WebEngineSetup.h"

namespace {
std::string ProgramFolder() {
    const QString launcherFolder = qEnvironmentVariable("ZEL_PROGRAM_FOLDER");
    return (launcherFolder.isEmpty() ? QCoreApplication::applicationDirPath() : launcherFolder)
        .toStdString();
}
} // namespace

int main(int argc, char** argv) {
    zel::PrepareWebEngine();
    zel::GuardedApplication app(argc, argv);
    zel::SetCurrentDirectory(ProgramFolder());
    auto mainWindow = zel::CreateProgramWindows();
    mainWindow->show();
    return app.exec();
}
