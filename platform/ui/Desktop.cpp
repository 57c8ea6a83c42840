#include "Desktop.h"

#include <QCoreApplication>
#include <QDesktopServices>
#include <QDir>
#include <QProcess>
#include <QUrl>

#include <utility>

namespace zel {

namespace {
DesktopHandler& handlerStore() {
    static DesktopHandler handler;
    return handler;
}
} // namespace

void OpenInDefaultBrowser(const std::string& path) {
    if (handlerStore().openInDefaultBrowser) {
        handlerStore().openInDefaultBrowser(path);
        return;
    }
    QDesktopServices::openUrl(QUrl::fromLocalFile(QString::fromStdString(path)));
}

void StartProgramInstance() {
    if (handlerStore().startProgramInstance) {
        handlerStore().startProgramInstance();
        return;
    }
    QProcess::startDetached(QCoreApplication::applicationFilePath(), {}, QDir::currentPath());
}

DesktopHandler SetDesktopHandler(DesktopHandler handler) {
    return std::exchange(handlerStore(), std::move(handler));
}

} // namespace zel
