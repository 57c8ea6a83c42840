#include "PageSandbox.h"

#include <QDir>
#include <QFileInfo>

namespace zel {

namespace {
QString resolved(const QString& path) {
    const QFileInfo info(path);
    const QString canonical = info.canonicalFilePath();
    return canonical.isEmpty() ? QDir::cleanPath(info.absoluteFilePath()) : canonical;
}

// "N" of "N.htm" or of "N.files/...", or empty.
QString pageStem(const QString& name) {
    const qsizetype slash = name.indexOf(u'/');
    if (slash < 0)
        return name.endsWith(u".htm") ? name.chopped(4) : QString();
    const QString folder = name.left(slash);
    return folder.endsWith(u".files") ? folder.chopped(6) : QString();
}
} // namespace

QString StorePageOf(const QString& programFolder, const QString& localPath) {
    if (localPath.isEmpty())
        return {};
    const QString folder = resolved(programFolder) + u'/';
    const QString path = resolved(localPath);
    if (!path.startsWith(folder))
        return {};
    const QString name = path.mid(folder.size());
    if (name == u"help.htm")
        return QStringLiteral("help");
    if (pageStem(name) == u"page")
        return QStringLiteral("page");
    const QString history = QStringLiteral("zelhistory/");
    if (name.startsWith(history)) {
        const QString stem = pageStem(name.mid(history.size()));
        if (!stem.isEmpty())
            return history + stem;
    }
    return {};
}

} // namespace zel
