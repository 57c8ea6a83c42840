#include "TestEnvironment.h"

#include "DateTime.h"
#include "WebEngineSetup.h"

#include <QByteArray>
#include <QtGlobal>

namespace zel::test {

void PinEnvironment() {
    if (!qEnvironmentVariableIsSet("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", QByteArray("offscreen"));
    PrepareWebEngine();
    SetDateFormats({"dd.MM.yyyy", "HH:mm:ss"});
}

} // namespace zel::test
