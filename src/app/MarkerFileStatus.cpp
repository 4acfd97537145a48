#include "app/MarkerFileStatus.h"

#include <QFileInfo>

#include "markers/TempolaneFileValidationError.h"

namespace lanternwick {
namespace {

// The poll refuses larger files too; reading one only to refuse it would
// stall the window.
constexpr qint64 largestMarkerFile = qint64{64} << 20;

}  // namespace

MarkerFileStatus markerFileStatus(const std::filesystem::path& file, const std::filesystem::path& defaultFile,
                                  bool checkHeader) {
    const QFileInfo info(QString::fromStdString(file.string()));
    if (!info.exists()) {
        if (file == defaultFile) return {MarkerFileState::notChosen, QStringLiteral("No marker file chosen yet")};
        return {MarkerFileState::missing, QStringLiteral("This file does not exist")};
    }
    // A folder, a FIFO or a device: reading one could block or never end.
    if (!info.isFile()) return {MarkerFileState::unreadable, QStringLiteral("This is not a regular file")};
    if (!info.isReadable()) return {MarkerFileState::unreadable, QStringLiteral("This file cannot be read")};
    if (!checkHeader) return {};
    if (info.size() > largestMarkerFile) {
        return {MarkerFileState::refused, QStringLiteral("This file is larger than 64 MiB")};
    }
    if (const auto valid = validateMarkerFile(file); !valid) {
        if (valid.error().kind == TempolaneFileValidationError::Kind::unreadableFile) {
            return {MarkerFileState::unreadable,
                    QStringLiteral("This file cannot be read (") + QString::fromStdString(valid.error().reason) + u')'};
        }
        return {MarkerFileState::refused, QStringLiteral("This is not a Tempolane marker file")};
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
