#include "TestEnvironment.h"

#include "DateTime.h"

#include <QByteArray>
#include <QLocale>
#include <QtGlobal>

namespace zel::test {

void PinEnvironment() {
    if (!qEnvironmentVariableIsSet("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", QByteArray("offscreen"));
    PinLocaleAndFormats();
}

void PinLocaleAndFormats() {
    QLocale::setDefault(QLocale::c());
    SetDateFormats({"dd.MM.yyyy", "HH:mm:ss"});
}

} // namespace zel::test
