// The configuration view and the window around it, driven as a user would.

#include <sys/stat.h>

#include <iostream>

#include <QApplication>
#include <QClipboard>
#include <QComboBox>
#include <QDir>
#include <QImage>
#include <QLabel>
#include <QLineEdit>
#include <QMenuBar>
#include <QMessageBox>
#include <QPushButton>
#include <QScreen>
#include <QScrollArea>
#include <QTest>
#include <gtest/gtest.h>

#include "app/ConnectionPill.h"
#include "app/EosConfigurationView.h"
#include "app/HelpPage.h"
#include "app/LanternwickWindow.h"
#include "app/MarkerFileChooser.h"
#include "app/MiddleElidedLabel.h"
#include "app/PortFieldFilter.h"
#include "app/QtTestSupport.h"
#include "common/MarkerFileText.h"
#include "app/SwitchToggle.h"
#include "app/Theme.h"
#include "app/WarningBox.h"
#include "LanternwickVersion.h"
#include "common/RecordingEosLink.h"
#include "support/RunLoopMainQueue.h"

namespace lanternwick {
namespace {

using namespace std::chrono_literals;

struct ScriptedChooser final : MarkerFileChooser {
    std::optional<std::string> chooseMarkerFile(QWidget*) override { return std::exchange(next, std::nullopt); }
    std::optional<std::string> next;
};

class WindowTest : public ::testing::Test {
protected:
    void SetUp() override {
        testing::ensureQtApplication();
        settings->setString("tempolaneFilePath", firstFile.string());
        settings->setInteger("eosPort", 8555);
    }

    void makeWindow(QUrl help = {}) {
        // No poll timer and no deletion question: the test moves the clock.
        monitor = LightingFileMonitor::create({
            .mainQueue = queue,
            .settings = settings,
            .deletionPrompt = nullptr,
            .fileSystem = nullptr,
            .eosLink = link,
            .pollTimer = [](MainQueue::Duration, std::function<void()>) { return CancelHandle(); },
        });
        window = std::make_unique<LanternwickWindow>(monitor, chooser, std::move(help),
                                                     [this](const QUrl& url, const std::function<void()>& failed) {
                                                         opened << url;
                                                         if (!launcherAvailable) failed();
                                                     });
        view = window->configurationView();
    }

    void show() {
        if (!window) {
            makeWindow();
        }
        window->show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(window.get()));
    }

    template <typename Widget>
    Widget* child(const char* name) const {
        auto* found = view->findChild<Widget*>(QString::fromLatin1(name));
        EXPECT_NE(found, nullptr) << name;
        return found;
    }

    void retype(const char* field, const QString& text) const {
        child<QLineEdit>(field)->selectAll();
        QTest::keyClicks(child<QLineEdit>(field), text);
    }

    void passDebounce() const { queue->runFor(LightingFileMonitor::connectionSettingsDelay + 50ms); }

    testing::ScratchFolder scratch;
    std::filesystem::path firstFile = scratch.write("first.xml", testing::markerFileText({}));
    std::shared_ptr<RunLoopMainQueue> queue = std::make_shared<RunLoopMainQueue>(RunLoopMainQueue::ClockMode::manual);
    std::shared_ptr<InMemorySettingsStore> settings = std::make_shared<InMemorySettingsStore>();
    std::shared_ptr<testing::RecordingEosLink> link = std::make_shared<testing::RecordingEosLink>();
    std::shared_ptr<ScriptedChooser> chooser = std::make_shared<ScriptedChooser>();
    std::shared_ptr<LightingFileMonitor> monitor;
    std::unique_ptr<LanternwickWindow> window;
    EosConfigurationView* view = nullptr;
    QList<QUrl> opened;
    bool launcherAvailable = true;
};

TEST_F(WindowTest, FirstShowingFillsThePortFieldAndStartsMonitoringOnce) {
    makeWindow();
    EXPECT_EQ(child<QLineEdit>("portField")->text(), "");
    EXPECT_FALSE(monitor->isMonitoring());

    show();
    EXPECT_EQ(window->windowTitle(), "Lanternwick");
    EXPECT_EQ(child<QLineEdit>("portField")->text(), "8555");
    EXPECT_TRUE(monitor->isMonitoring());
    EXPECT_EQ(link->connectCount, 1);
    EXPECT_EQ(monitor->events().size(), 1u);

    window->hide();
    show();
    EXPECT_EQ(link->connectCount, 1);
    EXPECT_EQ(monitor->events().size(), 1u);
}

TEST_F(WindowTest, ThePortFieldKeepsDigitsAndShowsThePortTheMonitorHolds) {
    show();
    auto* port = child<QLineEdit>("portField");
    const auto replace = [port](const QString& text) {
        port->selectAll();
        port->insert(text);
    };
    // A letter typed amid the digits goes, and the caret stays where it was.
    port->setCursorPosition(1);
    QTest::keyClicks(port, "x");
    EXPECT_EQ(port->text(), "8555");
    EXPECT_EQ(port->cursorPosition(), 1);
    retype("portField", "80a");
    EXPECT_EQ(port->text(), "80");
    EXPECT_EQ(monitor->eosPort(), 80);
    // Keystrokes within the debounce end in a single reconfiguration.
    const auto before = link->configures.size();
    passDebounce();
    ASSERT_EQ(link->configures.size(), before + 1);
    EXPECT_EQ(link->configures.back().port, 80);

    // Too big a port stays in the field and leaves the monitor's port alone.
    replace("70000");
    EXPECT_EQ(port->text(), "70000");
    EXPECT_EQ(monitor->eosPort(), 80);

    replace("0081");
    EXPECT_EQ(monitor->eosPort(), 81);
    EXPECT_EQ(port->text(), "81");
    monitor->setEosPort(9000);
    EXPECT_EQ(port->text(), "9000");
}

TEST(PortFieldFilter, KeepsNumbersAndAssignsOnlyASCIIPortsFrom1To65535) {
    const PortFieldDecision leaveAlone{};
    const auto replaceWith = [](const char* text) { return PortFieldDecision{.replacementText = text, .port = {}}; };
    const auto assign = [](std::uint16_t port) { return PortFieldDecision{.replacementText = {}, .port = port}; };
    const struct {
        std::u16string_view typed;
        PortFieldDecision expected;
    } cases[] = {
        {u"80a", replaceWith("80")}, {u" 30 37 ", replaceWith("3037")}, {u"-1", replaceWith("1")},
        {u"+8,555.0", replaceWith("85550")}, {u"abc", replaceWith("")}, {u"80\t\n", replaceWith("80")},
        {u"1", assign(1)}, {u"3037", assign(3037)}, {u"65535", assign(65535)}, {u"0080", assign(80)},
        {u"", leaveAlone}, {u"0", leaveAlone}, {u"000", leaveAlone}, {u"65536", leaveAlone},
        {u"99999999999999999999", leaveAlone},
        // A digit with a combining mark is one character that starts with a
        // number: kept whole, and then not an ASCII port.
        {u"8\u0301", leaveAlone},
        // A letter with a combining mark goes entirely.
        {u"8e\u0301", replaceWith("8")},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(filterPortText(QStringView(c.typed)), c.expected) << QStringView(c.typed).toString().toStdString();
    }
}

TEST_F(WindowTest, HostEditsReachTheMonitorAndABlankHostComesBackNormalised) {
    show();
    retype("hostField", "console");
    EXPECT_EQ(monitor->eosHost(), "console");
    retype("hostField", "");
    QTest::keyClick(child<QLineEdit>("hostField"), Qt::Key_Backspace);
    passDebounce();
    EXPECT_EQ(child<QLineEdit>("hostField")->text(), "127.0.0.1");
}

TEST_F(WindowTest, TheFramingControlSetsTheMonitorsFramingAndFollowsIt) {
    settings->setString("eosFraming", "length");
    show();
    auto* framing = child<QComboBox>("framingBox");
    ASSERT_EQ(framing->count(), 2);
    EXPECT_EQ(framing->itemText(0), "SLIP (OSC 1.1)");
    EXPECT_EQ(framing->itemText(1), "Packet length (OSC 1.0)");
    EXPECT_EQ(framing->currentText(), "Packet length (OSC 1.0)");
    framing->setFocus();
    QTest::keyClick(framing, Qt::Key_Up);
    EXPECT_EQ(monitor->eosFraming(), EosFraming::slip);
    EXPECT_EQ(settings->stringValue("eosFraming"), "slip");
    monitor->setEosFraming(EosFraming::packetLength);
    EXPECT_EQ(framing->currentText(), "Packet length (OSC 1.0)");
    EXPECT_EQ(child<QLineEdit>("portField")->placeholderText(), "3032");
}

TEST_F(WindowTest, EachToggleSetsItsOwnOptionAndFollowsTheMonitor) {
    show();
    const struct {
        const char* toggle;
        bool (LightingFileMonitor::*get)() const;
        void (LightingFileMonitor::*set)(bool);
    } toggles[] = {
        {"updateOnConnectToggle", &LightingFileMonitor::optUpdateOnConnect, &LightingFileMonitor::setOptUpdateOnConnect},
        {"syncLabelsToggle", &LightingFileMonitor::optSyncLabels, &LightingFileMonitor::setOptSyncLabels},
        {"deleteCuesToggle", &LightingFileMonitor::optDeleteCues, &LightingFileMonitor::setOptDeleteCues},
    };
    for (const auto& t : toggles) {
        SCOPED_TRACE(t.toggle);
        auto* toggle = child<SwitchToggle>(t.toggle);
        QTest::mouseClick(toggle, Qt::LeftButton);
        EXPECT_TRUE(((*monitor).*t.get)());
        ((*monitor).*t.set)(false);
        EXPECT_FALSE(toggle->isChecked());
    }
    // The warning is shown exactly while deleting cues is on.
    auto* warning = child<WarningBox>("deleteWarning");
    EXPECT_FALSE(warning->isVisible());
    monitor->setOptDeleteCues(true);
    EXPECT_TRUE(warning->isVisible());
    EXPECT_EQ(warning->text(),
              "Deleting cues from Tempolane will DELETE the corresponding cue in Eos.\n"
              "You probably do not want to enable this if you already have data in cues!");
    monitor->setOptDeleteCues(false);
    EXPECT_FALSE(warning->isVisible());
}

TEST_F(WindowTest, ARefusedFileLeavesThePathAndIsExplainedInAnAlert) {
    show();
    auto* path = child<MiddleElidedLabel>("filePath");
    EXPECT_EQ(path->fullText().toStdString(), firstFile.string());
    child<QPushButton>("selectButton")->click();  // cancelled
    EXPECT_EQ(view->fileSelectionAlert(), nullptr);

    chooser->next = scratch.write("bad.xml", "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<Other/>\n").string();
    child<QPushButton>("selectButton")->click();
    ASSERT_TRUE(view->fileSelectionErrorMessage());
    EXPECT_TRUE(view->fileSelectionErrorMessage()->startsWith("The selected XML file is not a valid Tempolane file.\n"));
    QMessageBox* alert = view->fileSelectionAlert();
    ASSERT_NE(alert, nullptr);
    EXPECT_TRUE(alert->isVisible());
    EXPECT_EQ(alert->windowTitle(), "Invalid Tempolane File");
    EXPECT_EQ(alert->informativeText(), *view->fileSelectionErrorMessage());
    ASSERT_EQ(alert->buttons().size(), 1);
    EXPECT_EQ(monitor->fileURL(), firstFile);
    EXPECT_EQ(path->fullText().toStdString(), firstFile.string());
    alert->buttons().front()->click();
    EXPECT_FALSE(view->fileSelectionErrorMessage());

    const auto second = scratch.write("second.xml", testing::markerFileText({}));
    chooser->next = second.string();
    view->selectMarkerFile();
    EXPECT_EQ(monitor->fileURL(), second);
    EXPECT_EQ(path->fullText().toStdString(), second.string());
}

// Each file the monitor cannot use is said in the file card with the next
// step, and the notice goes once the file is back.
TEST_F(WindowTest, TheFileCardSaysWhyTheFileCannotBeUsedAndOffersTheNextStep) {
    const auto fifo = scratch.path("pipe.xml");
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    const struct {
        const char* name;
        std::optional<std::filesystem::path> file;  // absent: nothing saved
        QString notice;
    } cases[] = {
        {"first start", std::nullopt, "No marker file chosen yet, so nothing is watched. "},
        {"missing", scratch.path("gone.xml"),
         "This file does not exist: saves are picked up once it is back, nothing is synced meanwhile. "},
        // A FIFO would block a reader; it is never opened.
        {"not a file", fifo, "This is not a regular file, so nothing is synced from it. "},
        {"refused", scratch.write("other.xml", "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<Other/>\n"),
         "This is not a Tempolane marker file, so nothing is synced from it. "},
        {"usable", firstFile, ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        if (!c.file && std::filesystem::exists(defaultMarkerFilePath())) {
            std::cout << "skipped the first start: " << defaultMarkerFilePath() << " exists\n";
            continue;
        }
        settings = std::make_shared<InMemorySettingsStore>();
        if (c.file) settings->setString("tempolaneFilePath", c.file->string());
        window.reset();
        makeWindow();
        show();
        auto* notice = child<WarningBox>("fileNotice");
        EXPECT_EQ(notice->isVisible(), !c.notice.isEmpty());
        if (!c.notice.isEmpty()) {
            EXPECT_EQ(notice->text(), c.notice + "Choose the marker file\u2026");
        }
        if (!c.file) {
            EXPECT_TRUE(testing::saveScreenshot(*window, "first-start.png"));
        }
    }

    // The missing file comes back, then the notice's link chooses another.
    settings = std::make_shared<InMemorySettingsStore>();
    const auto later = scratch.path("later.xml");
    settings->setString("tempolaneFilePath", later.string());
    window.reset();
    makeWindow();
    show();
    auto* notice = child<WarningBox>("fileNotice");
    ASSERT_TRUE(notice->isVisible());
    scratch.write("later.xml", testing::markerFileText({}));
    monitor->pollOnce();
    EXPECT_FALSE(notice->isVisible());
    std::filesystem::remove(later);
    monitor->pollOnce();
    ASSERT_TRUE(notice->isVisible());
    chooser->next = firstFile.string();
    emit notice->findChild<QLabel*>()->linkActivated(QStringLiteral("choose"));
    EXPECT_EQ(monitor->fileURL(), firstFile);
    EXPECT_FALSE(notice->isVisible());
}

TEST_F(WindowTest, ALongPathIsShortenedInTheMiddleButCopiedWhole) {
    const auto deep = scratch.write(std::string(200, 'm') + ".xml", testing::markerFileText({}));
    settings->setString("tempolaneFilePath", deep.string());
    show();
    auto* path = child<MiddleElidedLabel>("filePath");
    const QString full = QString::fromStdString(deep.string());
    const QString shown = path->text();
    EXPECT_TRUE(shown.startsWith(full.left(4)) && shown.contains(QChar(0x2026)) && shown.endsWith(".xml"))
        << shown.toStdString();

    QGuiApplication::clipboard()->clear();
    path->setFocus();
    path->setSelection(0, static_cast<int>(path->text().size()));
    QTest::keyClick(path, Qt::Key_C, Qt::ControlModifier);
    EXPECT_EQ(QGuiApplication::clipboard()->text(), full);
}

TEST_F(WindowTest, RendersDarkOnALightDesktop) {
    settings->setBool("optDeleteCues", true);
    // A light desktop must not leak dark text into the dark window.
    const QPalette desktopPalette = QApplication::palette();
    QPalette light;
    light.setColor(QPalette::Window, Qt::white);
    light.setColor(QPalette::WindowText, Qt::black);
    light.setColor(QPalette::Text, Qt::black);
    QApplication::setPalette(light);
    show();
    QApplication::setPalette(desktopPalette);
    EXPECT_TRUE(child<SwitchToggle>("deleteCuesToggle")->isChecked());
    EXPECT_TRUE(child<WarningBox>("deleteWarning")->isVisible());
    auto* pill = child<ConnectionPill>("connectionPill");
    link->callbacks.onLinkStatusChanged({LinkState::connected, "", 0});
    QImage image = view->grab().toImage();
    image.setDevicePixelRatio(1);
    const auto at = [&](const QWidget* widget, QPoint point) { return image.pixelColor(widget->mapTo(view, point)); };

    // The background outside the cards is the fixed near-black, and the
    // clipped icon's corner shows it.
    EXPECT_EQ(image.pixelColor(3, image.height() / 2), QColor(16, 16, 16));
    EXPECT_EQ(at(child<QLabel>("appIcon"), {0, 0}), QColor(16, 16, 16));
    // The pill's dot is green while connected.
    const QColor dot = at(pill, {14, pill->height() / 2});
    EXPECT_TRUE(dot.green() > 150 && dot.red() < 100) << dot.name().toStdString();

    for (const QLabel* title : view->findChildren<QLabel*>("sectionTitle")) {
        int brightest = 0;
        for (int y = 0; y < title->height(); ++y) {
            for (int x = 0; x < title->width(); ++x) {
                brightest = std::max(brightest, at(title, {x, y}).lightness());
            }
        }
        EXPECT_GT(brightest, 180) << title->text().toStdString();
    }
}

TEST_F(WindowTest, AboutShowsTheVersionAndTheLicence) {
    show();
    window->menuBar()->findChild<QAction*>("showAbout")->trigger();
    auto* box = window->findChild<QMessageBox*>("aboutBox");
    ASSERT_NE(box, nullptr);
    EXPECT_TRUE(box->isVisible());
    EXPECT_EQ(box->text().toStdString(), "Lanternwick " + std::string(version));
    EXPECT_TRUE(box->informativeText().contains("MIT licence")) << box->informativeText().toStdString();
}

TEST_F(WindowTest, TheHelpItemOpensTheHelpPageOrShowsWhereItIs) {
    const auto triggerHelp = [](const LanternwickWindow& window) {
        for (QAction* menu : window.menuBar()->actions()) {
            if (menu->text().remove('&') == "Help") {
                return menu->menu()->actions().front()->trigger();
            }
        }
        ADD_FAILURE() << "no Help menu";
    };
    const QString path = QString::fromStdString(scratch.write("help.html", "<html></html>").string());
    const QUrl page = QUrl::fromLocalFile(path);
    const struct {
        QUrl page;
        bool launcherAvailable;
        int openAttempts;
        bool pathShown;
    } cases[] = {
        {page, true, 1, false},
        {page, false, 1, true},
        // No page found: the item does nothing, not even a message.
        {QUrl(), false, 0, false},
    };
    for (const auto& c : cases) {
        opened.clear();
        launcherAvailable = c.launcherAvailable;
        makeWindow(c.page);
        triggerHelp(*window);
        EXPECT_EQ(opened.size(), c.openAttempts) << c.launcherAvailable;
        auto* box = window->findChild<QMessageBox*>("helpPagePathBox");
        ASSERT_EQ(box != nullptr, c.pathShown) << c.launcherAvailable;
        if (box) {
            EXPECT_EQ(opened, QList<QUrl>{page});
            EXPECT_TRUE(box->isVisible());
            EXPECT_TRUE(box->text().endsWith("\n" + path)) << box->text().toStdString();
        }
    }
}

// F1 is the help item, and an opener that finds no browser says so by its
// exit status only: that must still end in the message with the path.
TEST_F(WindowTest, F1AndAnOpenerWithoutABrowserEndInTheHelpPagesPath) {
    const QUrl page = QUrl::fromLocalFile(QString::fromStdString(scratch.write("help.html", "<html></html>").string()));
    launcherAvailable = false;
    makeWindow(page);
    show();
    QTest::keyClick(window.get(), Qt::Key_F1);
    EXPECT_EQ(opened, QList<QUrl>{page});
    EXPECT_NE(window->findChild<QMessageBox*>("helpPagePathBox"), nullptr);

#if defined(Q_OS_LINUX)
    const auto opener = scratch.write("xdg-open", "#!/bin/sh\nexit 3\n");
    std::filesystem::permissions(opener, std::filesystem::perms::owner_all);
    const QByteArray path = qgetenv("PATH");
    qputenv("PATH", QByteArray::fromStdString(scratch.path("").string()));
    bool failed = false;
    openInBrowser(page, [&failed] { failed = true; });
    EXPECT_TRUE(QTest::qWaitFor([&failed] { return failed; }, 5000));
    qputenv("PATH", path);
#endif
}

TEST(HelpPage, IsFoundInstalledBesideBinOrElseNextToABuiltExecutable) {
    const testing::ScratchFolder scratch;
    const QDir root(QString::fromStdString(scratch.path("").string()));
    const QString bin = root.filePath("prefix/bin");
    const auto page = [&](const char* name) {
        EXPECT_TRUE(root.mkpath(QFileInfo(root.filePath(name)).path()));
        scratch.write(name, "<html></html>");
        return QFileInfo(root.filePath(name)).canonicalFilePath();
    };
    ASSERT_TRUE(root.mkpath(bin));
    EXPECT_FALSE(helpPageUrl(bin).isValid());
    const QString beside = page("prefix/bin/help/index.html");
    EXPECT_EQ(helpPageUrl(bin).toLocalFile(), beside);
    const QString installed = page("prefix/share/lanternwick/help/index.html");
    EXPECT_EQ(helpPageUrl(bin).toLocalFile(), installed);
}

// At 100 % on 800x600, at 150 % on 1280x800 (the same test run again by
// CTest with QT_SCALE_FACTOR=1.5) and with a 150 % desktop font: the window
// opens within the screen, can shrink to a minimum that fits it, and at that
// minimum no text is cut off (the cards scroll instead).
TEST_F(WindowTest, FitsTheScreenAtAnyScaleWithNothingCutOff) {
    const QFont desktopFont = QApplication::font();
    const bool scaled = qEnvironmentVariable("QT_SCALE_FACTOR") == "1.5";
    for (const double points : {9.0, 13.5}) {
        SCOPED_TRACE(points);
        QFont font = desktopFont;
        font.setPointSizeF(points);
        QApplication::setFont(font);
        window.reset();
        show();
        const QSize screen = window->screen()->availableGeometry().size();
        if (scaled) {
            ASSERT_EQ(screen, QSize(853, 533)) << "the 1280x800 screen at 150 %";
        }
        const QSize room = (scaled ? screen : QSize(800, 600)) - QSize(16, 48);
        EXPECT_EQ(window->size().boundedTo(screen), window->size());
        const QSize minimum = window->minimumSizeHint();
        EXPECT_TRUE(minimum.width() <= room.width() && minimum.height() <= room.height())
            << minimum.width() << "x" << minimum.height();
        EXPECT_LT(window->minimumSize().height(), window->maximumSize().height()) << "the window resizes";
        window->resize(minimum);
        QApplication::processEvents();

        auto* scroller = view->findChild<QScrollArea*>("cardScroller");
        ASSERT_NE(scroller, nullptr);
        const auto shownRect = [&](const QWidget* widget) {
            return QRect(widget->mapTo(window.get(), QPoint(0, 0)), widget->size());
        };
        for (const char* name : {"title", "caption", "connectionPill", "activityStatus", "disclaimer"}) {
            const auto* widget = view->findChild<QWidget*>(name);
            ASSERT_NE(widget, nullptr) << name;
            EXPECT_TRUE(window->rect().contains(shownRect(widget))) << name;
        }
        for (QWidget* widget : scroller->widget()->findChildren<QWidget*>()) {
            if (!widget->isVisibleTo(view) || qobject_cast<const MiddleElidedLabel*>(widget)) continue;
            const auto* label = qobject_cast<const QLabel*>(widget);
            if (!label && !qobject_cast<const QAbstractButton*>(widget) && !qobject_cast<const QLineEdit*>(widget)) continue;
            scroller->ensureWidgetVisible(widget, 0, 0);
            const QString what = label ? label->text() : widget->objectName();
            EXPECT_TRUE(shownRect(scroller->viewport()).contains(shownRect(widget))) << what.toStdString();
            if (label && label->wordWrap()) {
                EXPECT_GE(label->height(), label->heightForWidth(label->width())) << what.toStdString();
            } else if (label || qobject_cast<const QAbstractButton*>(widget)) {
                EXPECT_GE(widget->width(), widget->sizeHint().width()) << what.toStdString();
            }
        }
        const auto* disclaimer = view->findChild<QLabel*>("disclaimer");
        EXPECT_GE(disclaimer->height(), disclaimer->heightForWidth(disclaimer->width()));
    }
    // The stock font gives the layout's drawn sizes, and a larger one grows
    // every text alike.
    const struct {
        double points;
        int body, caption, title;
    } sizes[] = {{9, 13, 10, 17}, {13.5, 20, 15, 26}};
    for (const auto& size : sizes) {
        QFont font = desktopFont;
        font.setPointSizeF(size.points);
        QApplication::setFont(font);
        EXPECT_EQ(theme::bodyFont().pixelSize(), size.body) << size.points;
        EXPECT_EQ(theme::captionFont().pixelSize(), size.caption) << size.points;
        EXPECT_EQ(theme::title2Font().pixelSize(), size.title) << size.points;
    }
    QApplication::setFont(desktopFont);
}

}  // namespace
}  // namespace lanternwick
