// The configuration view and the window around it, driven as a user would.

#include <QApplication>
#include <QClipboard>
#include <QDir>
#include <QImage>
#include <QLabel>
#include <QLineEdit>
#include <QMenuBar>
#include <QMessageBox>
#include <QPushButton>
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
#include "app/WarningBox.h"
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
                                                     [this](const QUrl& url) {
                                                         opened << url;
                                                         return launcherAvailable;
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
    EXPECT_EQ(window->minimumSize(), window->maximumSize()) << "the window cannot be resized";
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

}  // namespace
}  // namespace lanternwick
