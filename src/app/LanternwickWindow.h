#pragma once
// LanternwickWindow: the application's only window, titled "Lanternwick".
// It holds the configuration view, opens at the view's preferred size where
// the screen has room and otherwise at what fits (the view's cards scroll),
// and can be resized down to the view's minimum. It shapes the menu bar: no
// command makes a new or second main window; Window > Activity (Ctrl+L) and
// the view's status line open the one activity window, made on first use and
// raised when it is already open; the Help menu holds "Lanternwick Help"
// (F1), which opens the help page shipped with the application in the
// default browser, or, where no browser takes it, shows the page's path in a
// message box to open by hand, and "About Lanternwick" with the version and
// the licence.
// main() owns it for the whole run and shares the one monitor with it. On
// macOS closing it only hides it, so the same window (and never a second
// monitor) comes back; elsewhere closing it ends the application.
// GUI thread only.

#include <functional>
#include <memory>

#include <QMainWindow>
#include <QPointer>
#include <QUrl>

class QScreen;

namespace lanternwick {

class ActivityWindow;
class EosConfigurationView;
class LightingFileMonitor;
class MarkerFileChooser;

class LanternwickWindow final : public QMainWindow {
    Q_OBJECT
public:
    // Opens the address; calls `failed` (at once or later, on the GUI thread)
    // when nothing could (no browser, no launcher).
    using UrlOpener = std::function<void(const QUrl&, std::function<void()> failed)>;

    // An invalid help page leaves the help item doing nothing.
    LanternwickWindow(std::shared_ptr<LightingFileMonitor> monitor, std::shared_ptr<MarkerFileChooser> chooser,
                      QUrl helpPage, UrlOpener openUrl, QWidget* parent = nullptr);

    EosConfigurationView* configurationView() const { return view_; }
    void openHelp();
    void showAbout();
    // Shows the activity window, making it the first time, and brings it to
    // the front.
    void showActivity();
    // Absent until first shown.
    ActivityWindow* activityWindow() const;

private:
    void buildMenus();
    void showHelpPagePath();

    std::shared_ptr<LightingFileMonitor> monitor_;
    EosConfigurationView* view_;
    QPointer<ActivityWindow> activity_;
    QUrl helpPage_;
    UrlOpener openUrl_;
};

// `preferred` cut to what the screen can show, but never below `minimum`.
QSize fittingSize(QSize preferred, QSize minimum, const QScreen* screen);

}  // namespace lanternwick
