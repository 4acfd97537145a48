// The lanternwick executable: the window on a desktop, the headless runner
// with --headless or when no display can be reached. The window takes the
// headless runner's flags too (--file, --host, --port, the three options,
// --assume-yes/--assume-no); like there, they hold for this run only and are
// never saved. --help and --version answer before any display is needed.

#include <algorithm>
#include <filesystem>
#include <iostream>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include <QApplication>
#include <QIcon>
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
#include "LanternwickVersion.h"
#include "markers/TempolaneFileValidationError.h"
#include "monitor/LightingFileMonitor.h"

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

void printHelp() {
    std::cout << headlessUsage
              << "Without --headless the window opens when a display can be reached, and the terminal\n"
                 "mode runs otherwise; Qt's own options (-platform NAME and the like) are accepted.\n"
                 "Settings chosen in the window, used wherever no flag is given, are kept in\n  "
              << QSettings().fileName().toStdString() << "\n";
}

int runWindow(int argc, char** argv) {
    QApplication application(argc, argv);
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
        if (const auto valid = validateMarkerFile(*options->file); !valid) {
            std::cerr << "lanternwick: " << options->file->string() << ":\n" << valid.error().description() << "\n";
            return badUsage;
        }
    }

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

    LanternwickWindow window(monitor, std::make_shared<DialogMarkerFileChooser>(),
                             helpPageUrl(QCoreApplication::applicationDirPath()),
                             openInBrowser);
    deletionDialog->setParentWindow(&window);

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
