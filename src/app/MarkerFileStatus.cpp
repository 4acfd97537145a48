#include "app/MarkerFileStatus.h"

#include <QFileInfo>


namespace lanternwick {
MarkerFileStatus markerFileStatus(const std::filesystem::path& file, const std::filesystem::path& defaultFile,
                                  const FileVerdict& verdict) {
    const QFileInfo info(QString::fromStdString(file.string()));
    if (!info.exists()) {
        if (file == defaultFile) return {MarkerFileState::notChosen, QStringLiteral("No marker file chosen yet")};
        return {MarkerFileState::missing, QStringLiteral("This file does not exist")};
    }
    // A folder, a FIFO or a device: reading one could block or never end.
    if (!info.isFile()) return {MarkerFileState::unreadable, QStringLiteral("This is not a regular file")};
    if (!info.isReadable()) return {MarkerFileState::unreadable, QStringLiteral("This file cannot be read")};
    switch (verdict.kind) {
    case FileVerdict::Kind::unreadable:
        return {MarkerFileState::unreadable,
                QStringLiteral("This file cannot be read (") + QString::fromStdString(verdict.reason) + u')'};
    case FileVerdict::Kind::notAMarkerFile:
        return {MarkerFileState::refused, QStringLiteral("This is not a Tempolane marker file")};
    // Not looked at yet, or back since the last poll: the next poll tells.
    case FileVerdict::Kind::notLookedAt:
    case FileVerdict::Kind::missing:
    case FileVerdict::Kind::markerFile: break;
    }
    return {};
}

QString markerFileNotice(const MarkerFileStatus& status) {
    QString consequence;
    switch (status.state) {
    case MarkerFileState::usable: return {};
    case MarkerFileState::notChosen: consequence = QStringLiteral(", so nothing is watched."); break;
    case MarkerFileState::missing:
        consequence = QStringLiteral(": saves are picked up once it is back, nothing is synced meanwhile.");
        break;
    case MarkerFileState::unreadable:
    case MarkerFileState::refused: consequence = QStringLiteral(", so nothing is synced from it."); break;
    }
    return status.reason.toHtmlEscaped() + consequence + QStringLiteral(" <a href=\"choose\">") +
           QString::fromUtf16(chooseMarkerFileLink) + QStringLiteral("</a>");
}

}  // namespace lanternwick
