#include "app/MarkerFileChooser.h"

#include <QFileDialog>
#include <QMimeDatabase>

namespace lanternwick {

std::optional<std::string> DialogMarkerFileChooser::chooseMarkerFile(QWidget* parent) {
    QFileDialog dialog(parent, QStringLiteral("Select Tempolane File"));
    dialog.setAcceptMode(QFileDialog::AcceptOpen);
    dialog.setFileMode(QFileDialog::ExistingFile);
    dialog.setLabelText(QFileDialog::Accept, QStringLiteral("Select"));
    // The XML MIME type brings the suffixes the desktop registers for it
    // ("text/xml" is an alias of it, so naming both would list XML twice).
    const QString xml = QStringLiteral("application/xml");
    if (QMimeDatabase().mimeTypeForName(xml).isValid()) {
        dialog.setMimeTypeFilters({xml});
    } else {
        dialog.setNameFilter(QStringLiteral("XML files (*.xml)"));
    }
    if (dialog.exec() != QDialog::Accepted) {
        return std::nullopt;
    }
    const QStringList files = dialog.selectedFiles();
    if (files.size() != 1) {
        return std::nullopt;
    }
    return files.front().toStdString();
}

}  // namespace lanternwick
