// The lanternwick executable: the window on a desktop, the headless runner
// with --headless or when no display can be reached. The window takes the
// headless runner's flags too (--file, --host, --port, the three options,
// --assume-yes/--assume-no); like there, they hold for this run only and are
// never saved. --help and --version answer before any display is needed.

#include <algorithm>
#include <cctype>
#include <clocale>
#include <optional>
#include <filesystem>
#include <iostream>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include <QApplication>
#include <QIcon>
#include <QInputDialog>
#include <QMessageBox>
#include <QPushButton>
#include <QSettings>

#include "app/CueDeletionDialog.h"
#include "app/HelpPage.h"
#include "app/LanternwickWindow.h"
#include "app/MarkerFileChooser.h"
#include "app/QSettingsStore.h"
#include "app/QtMainQueue.h"
#include "app/Theme.h"
#include "headless/FlagOverlaySettingsStore.h"
#include "headless/HeadlessOptions.h"
#include "headless/HeadlessRunner.h"
#include "headless/StandardStreams.h"
#include "LanternwickVersion.h"
#include "markers/TempolaneFileValidationError.h"
#include "monitor/ConsoleLock.h"
#include "monitor/LightingFileMonitor.h"
#include "support/IntegerText.h"

namespace {

using namespace lanternwick;

bool hasArgument(const std::vector<std::string>& args, std::string_view wanted) {
    return std::find(args.begin(), args.end(), wanted) != args.end();
}

// Qt aborts the process when its platform cannot reach a display, so the
// decision for the headless runner has to be made before QApplication exists.
bool displayReachable(const std::vector<std::string>& args) {
#if defined(Q_OS_MACOS) || defined(Q_OS_WIN)
    (void)args;
    return true;
#else
    if (qEnvironmentVariableIsSet("QT_QPA_PLATFORM") || hasArgument(args, "-platform")) {
        return true;
    }
    if (!qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY")) {
        return true;
    }
    const std::string display = qEnvironmentVariable("DISPLAY").toStdString();
    if (display.empty()) {
        return false;
    }
    // A local display ":N" or ":N.S" has its socket in /tmp/.X11-unix; a
    // remote one is given the benefit of the doubt.
    if (display.front() != ':') {
        return true;
    }
    const std::string number = display.substr(1, display.find('.') - 1);
    return std::filesystem::exists("/tmp/.X11-unix/X" + number);
#endif
}

constexpr int badUsage = 2;

QString refusalText(const ConsoleLockRefusal& refusal) {
    std::string text = refusal.description();
    if (!text.empty()) text.front() = static_cast<char>(std::toupper(static_cast<unsigned char>(text.front())));
    if (refusal.systemError.empty()) text += ".\nTwo copies would send every line to the console twice.";
    return QString::fromStdString(text);
}

// Until this window holds the lock for its console: the user picks another
// console ("host:port") or quits, in which case it returns false.
bool holdConsoleLock(LightingFileMonitor& monitor, std::optional<ConsoleLock>& lock) {
    while (true) {
        auto taken = ConsoleLock::acquire(monitor.eosHost(), monitor.eosPort());
        if (taken) {
            lock = std::move(*taken);
            return true;
        }
        QInputDialog dialog;
        dialog.setWindowTitle(QStringLiteral("Lanternwick"));
        dialog.setLabelText(refusalText(taken.error()) +
                            QStringLiteral("\n\nPick another console (host:port), or quit:"));
        dialog.setTextValue(QString::fromStdString(taken.error().host + ":" + std::to_string(taken.error().port)));
        dialog.setOkButtonText(QStringLiteral("Use This Console"));
        dialog.setCancelButtonText(QStringLiteral("Quit"));
        if (dialog.exec() != QDialog::Accepted) return false;
        const std::string chosen = dialog.textValue().trimmed().toStdString();
        // One colon parts host and port; more make an IPv6 address without a port.
        const std::size_t colon = chosen.find(':');
        const bool hasPort = colon != std::string::npos && chosen.find(':', colon + 1) == std::string::npos;
        monitor.setEosHost(hasPort ? chosen.substr(0, colon) : chosen);
        if (hasPort) {
            const auto port = parseInteger<std::uint16_t>(std::string_view(chosen).substr(colon + 1));
            if (port && *port != 0) monitor.setEosPort(*port);
        }
    }
}

// The lock follows the console the window's fields name. A console another
// copy talks to is refused at once, before the edit is applied and the link
// reconnects: the fields go back to the console this window holds, and the
// user is told, with the choice to quit.
void moveConsoleLock(LightingFileMonitor& monitor, std::optional<ConsoleLock>& lock, QWidget* window) {
    if (!lock || lock->isFor(monitor.eosHost(), monitor.eosPort())) return;
    auto taken = ConsoleLock::acquire(monitor.eosHost(), monitor.eosPort());
    if (taken) {
        lock = std::move(*taken);
        return;
    }
    monitor.setEosHost(lock->host());
    monitor.setEosPort(lock->port());
    QMessageBox box(QMessageBox::Warning, QStringLiteral("Lanternwick"), refusalText(taken.error()),
                    QMessageBox::NoButton, window);
    box.setInformativeText(QString::fromStdString("This window stays with " + lock->host() + ":" +
                                                  std::to_string(lock->port()) + "."));
    box.addButton(QStringLiteral("Pick Another Console"), QMessageBox::AcceptRole);
    QPushButton* quit = box.addButton(QStringLiteral("Quit"), QMessageBox::RejectRole);
    box.exec();
    if (box.clickedButton() == quit) QCoreApplication::quit();
}

void printHelp() {
    std::cout << headlessUsage
              << "Without --headless the window opens when a display can be reached, and the terminal\n"
                 "mode runs otherwise; Qt's own options (-platform NAME and the like) are accepted.\n"
                 "Settings chosen in the window, used wherever no flag is given, are kept in\n  "
              << QSettings().fileName().toStdString() << "\n";
}

int runWindow(int argc, char** argv) {
    QApplication application(argc, argv);
    // Qt takes the user's locale for everything; the system's error texts
    // stay in the words the window, the logs and the link's hints are
    // written in and match on (a refused connection gets the port hint).
    std::setlocale(LC_MESSAGES, "C");
    QApplication::setWindowIcon(QIcon(QStringLiteral(":/lanternwick/lanternwick.png")));
    QGuiApplication::setDesktopFileName(QStringLiteral("org.lanternwick.Lanternwick"));
#if !defined(Q_OS_MACOS)
    // macOS draws its menu bar and dialogs in the system's appearance.
    QApplication::setPalette(theme::applicationPalette());
#endif

    // QApplication has taken its own arguments (-platform and the like) out.
    std::vector<std::string> args;
    for (const QString& argument : QCoreApplication::arguments().mid(1)) {
        args.push_back(argument.toStdString());
    }
    auto options = parseHeadlessArguments(args);
    if (!options) {
        std::cerr << "lanternwick: " << options.error() << "\n\n" << headlessUsage;
        return badUsage;
    }
    if (options->file) {
        std::error_code ignored;
        if (auto absolute = std::filesystem::absolute(*options->file, ignored); !absolute.empty()) {
            options->file = std::move(absolute);
        }
        const auto checked = checkedMarkerFile(*options->file);
        if (!checked) {
            std::cerr << "lanternwick: " << checked.error() << "\n";
            return badUsage;
        }
        options->file = *checked;
    }

    // Declared before the monitor, whose observer uses it, so it outlives it.
    std::optional<ConsoleLock> consoleLock;
    auto mainQueue = std::make_shared<QtMainQueue>();
    QSettingsStore savedSettings;
    auto settings = std::make_shared<FlagOverlaySettingsStore>(savedSettings, settingsFromFlags(*options));
    auto deletionDialog = std::make_shared<CueDeletionDialog>();
    auto monitor = LightingFileMonitor::create({.mainQueue = mainQueue,
                                                .settings = settings,
                                                .deletionPrompt = deletionDialog,
                                                .fileSystem = nullptr,
                                                .eosLink = nullptr,
                                                .pollTimer = nullptr});
    if (options->deletionAnswer != HeadlessOptions::DeletionAnswer::ask) {
        monitor->setCueDeletionPromptPolicy(options->deletionAnswer == HeadlessOptions::DeletionAnswer::yes
                                                ? CueDeletionPromptPolicy::autoYes
                                                : CueDeletionPromptPolicy::autoNo);
    }

    if (!holdConsoleLock(*monitor, consoleLock)) return 0;

    LanternwickWindow window(monitor, std::make_shared<DialogMarkerFileChooser>(),
                             helpPageUrl(QCoreApplication::applicationDirPath()),
                             openInBrowser);
    deletionDialog->setParentWindow(&window);
    monitor->addObserver([&monitor, &consoleLock, &window](MonitorField field) {
        if (field == MonitorField::eosHost || field == MonitorField::eosPort) {
            moveConsoleLock(*monitor, consoleLock, &window);
        }
    });

#if defined(Q_OS_MACOS)
    // A Mac application outlives its closed window; activating it again (the
    // Dock icon) brings the same window back.
    QApplication::setQuitOnLastWindowClosed(false);
    QObject::connect(&application, &QGuiApplication::applicationStateChanged, &window,
                     [&window](Qt::ApplicationState state) {
                         if (state == Qt::ApplicationActive && !window.isVisible()) {
                             window.show();
                         }
                     });
#endif

    window.show();
    return QApplication::exec();
}

}  // namespace

int main(int argc, char** argv) {
    lanternwick::openClosedStandardStreams();
    const std::vector<std::string> args(argv + std::min(argc, 1), argv + argc);
    QCoreApplication::setOrganizationName(QStringLiteral("Lanternwick"));
    QCoreApplication::setApplicationName(QStringLiteral("Lanternwick"));
    QCoreApplication::setApplicationVersion(QString::fromUtf8(version.data(), static_cast<qsizetype>(version.size())));
    if (hasArgument(args, "--version")) {
        std::cout << "lanternwick " << version << "\n";
        return 0;
    }
    if (hasArgument(args, "--help") || hasArgument(args, "-h")) {
        printHelp();
        return 0;
    }

    const bool headlessRequested = hasArgument(args, "--headless");
    if (headlessRequested || !displayReachable(args)) {
        if (!headlessRequested) {
            std::cerr << "lanternwick: no display available, running without a window\n";
        }
        QSettingsStore settings;
        return runHeadless(args, settings);
    }
    return runWindow(argc, argv);
}
