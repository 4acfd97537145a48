#include "app/HelpPage.h"

#include <QDir>
#include <QFileInfo>

namespace lanternwick {

QUrl helpPageUrl(const QString& applicationDirectory) {
    const QDir directory(applicationDirectory);
    const QString candidates[] = {
        directory.filePath(QStringLiteral("../share/lanternwick/help/index.html")),
        directory.filePath(QStringLiteral("help/index.html")),
    };
    for (const QString& candidate : candidates) {
        const QFileInfo page(candidate);
        if (page.isFile()) {
            return QUrl::fromLocalFile(page.canonicalFilePath());
        }
    }
    return {};
}

}  // namespace lanternwick
