#include "PageSandbox.h"

#include <QDir>
#include <QFileInfo>
#include <QRegularExpression>

namespace zel {

namespace {
QString resolved(const QString& path) {
    const QFileInfo info(path);
    const QString canonical = info.canonicalFilePath();
    return canonical.isEmpty() ? QDir::cleanPath(info.absoluteFilePath()) : canonical;
}

// The name of `localPath` inside the program folder, or empty outside it.
QString nameInFolder(const QString& programFolder, const QString& localPath) {
    if (localPath.isEmpty())
        return {};
    const QString folder = resolved(programFolder) + u'/';
    const QString path = resolved(localPath);
    return path.startsWith(folder) ? path.mid(folder.size()) : QString();
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
    const QString name = nameInFolder(programFolder, localPath);
    if (name.isEmpty())
        return {};
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

StoreDocument StoreDocumentOf(const QString& programFolder, const QString& localPath) {
    // Anchored whole: "$" alone would also let a name end in a line feed.
    static const QRegularExpression page(QRegularExpression::anchoredPattern(
        QStringLiteral(R"((page|help|zelhistory/-?[0-9]+)\.htm)")));
    static const QRegularExpression frame(QRegularExpression::anchoredPattern(
        QStringLiteral(R"((page|zelhistory/-?[0-9]+)\.files/page[0-9]+\.htm)")));
    const QString name = nameInFolder(programFolder, localPath);
    if (page.match(name).hasMatch())
        return StoreDocument::Page;
    if (frame.match(name).hasMatch())
        return StoreDocument::Frame;
    return StoreDocument::None;
}

} // namespace zel
