#include "WidgetSaveDialog.h"

#include <QFileDialog>
#include <QFileInfo>

namespace zel {

namespace {
// "*.*" means every file on the platform the patterns come from; here that is "*".
QString qtPattern(const std::string& pattern) {
    return pattern == "*.*" ? QStringLiteral("*") : QString::fromStdString(pattern);
}
} // namespace

std::optional<std::string> RunWidgetSaveDialog(const SaveDialogOptions& options) {
    QFileDialog dialog(nullptr, QString::fromStdString(options.title));
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setFileMode(QFileDialog::AnyFile);
    dialog.setOption(QFileDialog::DontConfirmOverwrite, true);
    dialog.setDefaultSuffix(QString::fromStdString(options.defaultExtension));
    QStringList filters;
    for (const auto& f : options.filters)
        filters << QString::fromStdString(f.display) + " (" + qtPattern(f.pattern) + ")";
    dialog.setNameFilters(filters);
    if (options.filterIndex >= 0 && options.filterIndex < filters.size())
        dialog.selectNameFilter(filters.at(options.filterIndex));
    if (!options.folder.empty())
        dialog.setDirectory(QString::fromStdString(options.folder));
    if (!options.fileName.empty())
        dialog.selectFile(QString::fromStdString(options.fileName));
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
        return std::nullopt;
    return QFileInfo(dialog.selectedFiles().first()).absoluteFilePath().toStdString();
}

} // namespace zel
