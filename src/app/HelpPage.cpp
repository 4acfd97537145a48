#include "app/HelpPage.h"

#include <QDesktopServices>
#include <QDir>
#include <QFileInfo>
#include <QProcess>
#include <QStandardPaths>

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

void openInBrowser(const QUrl& page, std::function<void()> failed) {
#if defined(Q_OS_LINUX) || defined(Q_OS_FREEBSD)
    const QString opener = QStandardPaths::findExecutable(QStringLiteral("xdg-open"));
    if (!opener.isEmpty()) {
        // Not parented: quitting must not kill a browser that the opener is
        // still waiting for.
        auto* process = new QProcess;
        process->setProgram(opener);
        process->setArguments({page.toString(QUrl::FullyEncoded)});
        process->setStandardOutputFile(QProcess::nullDevice());
        process->setStandardErrorFile(QProcess::nullDevice());
        QObject::connect(process, &QProcess::finished, process,
                         [process, failed](int exitCode, QProcess::ExitStatus status) {
                             if (status != QProcess::NormalExit || exitCode != 0) failed();
                             process->deleteLater();
                         });
        QObject::connect(process, &QProcess::errorOccurred, process, [process, failed](QProcess::ProcessError error) {
            if (error == QProcess::FailedToStart) {
                failed();
                process->deleteLater();
            }
        });
        process->start();
        return;
    }
#endif
    if (!QDesktopServices::openUrl(page)) failed();
}

}  // namespace lanternwick
