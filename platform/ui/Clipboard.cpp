#include "Clipboard.h"

#include <QClipboard>
#include <QGuiApplication>

namespace zel {

std::string ClipboardText() {
    return QGuiApplication::clipboard()->text().toStdString();
}

} // namespace zel
