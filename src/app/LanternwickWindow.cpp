#include "app/LanternwickWindow.h"

#include <QAction>
#include <QApplication>
#include <QLayout>
#include <QMenu>
#include <QMenuBar>
#include <QMessageBox>
#include <QPushButton>

#include "app/ActivityWindow.h"
#include "app/EosConfigurationView.h"
#include "app/MarkerFileChooser.h"

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
    // The window follows its fixed-size content: no resizing, no maximising.
    layout()->setSizeConstraint(QLayout::SetFixedSize);
    setWindowFlag(Qt::WindowMaximizeButtonHint, false);
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
    helpItem->setShortcut(QKeySequence::HelpContents);
    connect(helpItem, &QAction::triggered, this, &LanternwickWindow::openHelp);
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
    if (helpPage_.isValid() && openUrl_ && !openUrl_(helpPage_)) {
        showHelpPagePath();
    }
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
