#include "WebEngineSetup.h"

#include <QCoreApplication>
#include <QtGlobal>

#include <unistd.h>

namespace zel {

namespace {
void addChromiumFlag(const QByteArray& flag) {
    QByteArray flags = qgetenv("QTWEBENGINE_CHROMIUM_FLAGS");
    if (flags.contains(flag))
        return;
    qputenv("QTWEBENGINE_CHROMIUM_FLAGS", flags.isEmpty() ? flag : flags + ' ' + flag);
}
} // namespace

void PrepareWebEngine() {
    QCoreApplication::setAttribute(Qt::AA_ShareOpenGLContexts);
    if (::geteuid() == 0) {
        qputenv("QTWEBENGINE_DISABLE_SANDBOX", "1");
        addChromiumFlag("--no-sandbox");
    }
    QByteArray platform = qgetenv("QT_QPA_PLATFORM");
    if (platform == "offscreen" || platform == "minimal" || qEnvironmentVariableIsSet("ZEL_NO_GPU"))
        addChromiumFlag("--disable-gpu");
}

} // namespace zel
