#include "app/LanternwickWindow.h"

#include <QAction>
#include <QApplication>
#include <QMenu>
#include <QMenuBar>
#include <QMessageBox>
#include <QPushButton>
#include <QScreen>

#include "app/ActivityWindow.h"
#include "app/EosConfigurationView.h"
#include "app/MarkerFileChooser.h"
#include "LanternwickVersion.h"

namespace lanternwick {

LanternwickWindow::LanternwickWindow(std::shared_ptr<LightingFileMonitor> monitor,
                                     std::shared_ptr<MarkerFileChooser> chooser, QUrl helpPage, UrlOpener openUrl,
                                     QWidget* parent)
    : QMainWindow(parent),
      monitor_(std::move(monitor)),
      view_(new EosConfigurationView(monitor_, std::move(chooser), this)),
      helpPage_(std::move(helpPage)),
      openUrl_(std::move(openUrl)) {
    setObjectName(QStringLiteral("eos-configuration"));
    setWindowTitle(QStringLiteral("Lanternwick"));
    setCentralWidget(view_);
    buildMenus();
    connect(view_, &EosConfigurationView::activityRequested, this, &LanternwickWindow::showActivity);
    resize(fittingSize(view_->sizeHint() + QSize(0, menuBar()->sizeHint().height()), minimumSizeHint(), screen()));
}

QSize fittingSize(QSize preferred, QSize minimum, const QScreen* screen) {
    if (screen == nullptr) return preferred;
    // Room for the title bar and the frame the window manager adds.
    const QSize room = screen->availableGeometry().size() - QSize(16, 48);
    return preferred.boundedTo(room).expandedTo(minimum);
}

void LanternwickWindow::buildMenus() {
    QMenu* file = menuBar()->addMenu(QStringLiteral("&File"));
    QAction* quit = file->addAction(QStringLiteral("Quit Lanternwick"));
    quit->setShortcut(QKeySequence::Quit);
    quit->setMenuRole(QAction::QuitRole);
    connect(quit, &QAction::triggered, qApp, &QApplication::quit, Qt::QueuedConnection);

    QMenu* windowMenu = menuBar()->addMenu(QStringLiteral("&Window"));
    QAction* activity = windowMenu->addAction(QStringLiteral("Activity"));
    activity->setObjectName(QStringLiteral("showActivity"));
    activity->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_L));
    connect(activity, &QAction::triggered, this, &LanternwickWindow::showActivity);

    QMenu* help = menuBar()->addMenu(QStringLiteral("&Help"));
    QAction* helpItem = help->addAction(QStringLiteral("Lanternwick Help"));
    helpItem->setObjectName(QStringLiteral("showHelp"));
    helpItem->setShortcut(QKeySequence::HelpContents);
    // F1 works from the activity window too.
    helpItem->setShortcutContext(Qt::ApplicationShortcut);
    connect(helpItem, &QAction::triggered, this, &LanternwickWindow::openHelp);
    QAction* about = help->addAction(QStringLiteral("About Lanternwick"));
    about->setObjectName(QStringLiteral("showAbout"));
    about->setMenuRole(QAction::AboutRole);
    connect(about, &QAction::triggered, this, &LanternwickWindow::showAbout);
}

void LanternwickWindow::showAbout() {
    auto* box = new QMessageBox(this);
    box->setObjectName(QStringLiteral("aboutBox"));
    box->setAttribute(Qt::WA_DeleteOnClose);
    box->setWindowTitle(QStringLiteral("About Lanternwick"));
    box->setIconPixmap(QPixmap(QStringLiteral(":/lanternwick/lanternwick.png"))
                           .scaled(64, 64, Qt::KeepAspectRatio, Qt::SmoothTransformation));
    box->setTextFormat(Qt::PlainText);
    box->setText(QStringLiteral("Lanternwick ") + QString::fromUtf8(version.data(), static_cast<qsizetype>(version.size())));
    box->setInformativeText(QStringLiteral(
        "Keeps an ETC Eos console's cue list in step with Tempolane's timeline markers.\n\n"
        "Released under the MIT licence. Provided as is, without warranty of any kind; back up your show "
        "files before using it."));
    QPushButton* ok = box->addButton(QStringLiteral("OK"), QMessageBox::AcceptRole);
    box->setDefaultButton(ok);
    box->setEscapeButton(ok);
    box->open();
}

void LanternwickWindow::showActivity() {
    if (!activity_) {
        activity_ = new ActivityWindow(monitor_, this);
    }
    activity_->show();
    activity_->raise();
    activity_->activateWindow();
}

ActivityWindow* LanternwickWindow::activityWindow() const { return activity_; }

void LanternwickWindow::openHelp() {
    if (!helpPage_.isValid() || !openUrl_) return;
    // The opener may find out only later that no browser took the page.
    QPointer<LanternwickWindow> self(this);
    openUrl_(helpPage_, [self] {
        if (self) self->showHelpPagePath();
    });
}

// Where nothing can launch the page (no xdg-open, no known browser) the
// desktop gives no sign of its own, so the path is shown to be read or copied.
void LanternwickWindow::showHelpPagePath() {
    auto* box = new QMessageBox(this);
    box->setObjectName(QStringLiteral("helpPagePathBox"));
    box->setAttribute(Qt::WA_DeleteOnClose);
    box->setIcon(QMessageBox::Information);
    box->setWindowTitle(QStringLiteral("Lanternwick Help"));
    box->setTextFormat(Qt::PlainText);
    box->setText(QStringLiteral("No web browser could be opened for the help page. Open it in one by hand:\n\n") +
                 (helpPage_.isLocalFile() ? helpPage_.toLocalFile() : helpPage_.toString()));
    box->setTextInteractionFlags(Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard);
    QPushButton* ok = box->addButton(QStringLiteral("OK"), QMessageBox::AcceptRole);
    box->setDefaultButton(ok);
    box->setEscapeButton(ok);
    box->open();
}

}  // namespace lanternwick
