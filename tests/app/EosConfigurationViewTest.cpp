#include "app/EosConfigurationView.h"

#include <deque>

#include <QApplication>
#include <QClipboard>
#include <QImage>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>
#include <gtest/gtest.h>

#include "app/ConnectionPill.h"
#include "app/MarkerFileChooser.h"
#include "app/MiddleElidedLabel.h"
#include "app/QtTestSupport.h"
#include "app/RecordingEosLink.h"
#include "app/SwitchToggle.h"
#include "app/WarningBox.h"
#include "monitor/SettingsStore.h"
#include "support/RunLoopMainQueue.h"

namespace lanternwick {
namespace {

using namespace std::chrono_literals;
using testing::RecordingEosLink;

class ScriptedChooser final : public MarkerFileChooser {
public:
    std::optional<std::string> chooseMarkerFile(QWidget*) override {
        ++asked;
        if (answers.empty()) {
            return std::nullopt;
        }
        auto answer = answers.front();
        answers.pop_front();
        return answer;
    }

    std::deque<std::optional<std::string>> answers;
    int asked = 0;
};

class NeverAsked final : public CueDeletionPrompt {
public:
    CueDeletionAnswer confirmCueDeletion(std::int64_t, std::string_view) override {
        ADD_FAILURE() << "no deletion is expected here";
        return {};
    }
};

class EosConfigurationViewTest : public ::testing::Test {
protected:
    void SetUp() override {
        testing::ensureQtApplication();
        firstFile = scratch.write("first.xml", testing::emptyMarkerFile);
        settings->setString("tempolaneFilePath", firstFile.string());
        settings->setInteger("eosPort", 8555);
    }

    void makeView() {
        monitor = LightingFileMonitor::create({
            .mainQueue = queue,
            .settings = settings,
            .deletionPrompt = std::make_shared<NeverAsked>(),
            .fileSystem = nullptr,
            .eosLink = link,
            .pollTimer = [](MainQueue::Duration, std::function<void()>) { return CancelHandle(); },
        });
        view = std::make_unique<EosConfigurationView>(monitor, chooser);
    }

    void show() {
        view->show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(view.get()));
    }

    template <typename Widget>
    Widget* child(const char* name) const {
        auto* found = view->findChild<Widget*>(QString::fromLatin1(name));
        EXPECT_NE(found, nullptr) << name;
        return found;
    }

    QLineEdit* portField() const { return child<QLineEdit>("portField"); }
    QLineEdit* hostField() const { return child<QLineEdit>("hostField"); }

    void replacePortText(const QString& text) const {
        portField()->selectAll();
        portField()->insert(text);
    }

    void passDebounce() const { queue->runFor(LightingFileMonitor::connectionSettingsDelay + 50ms); }

    testing::ScratchFolder scratch;
    std::filesystem::path firstFile;
    std::shared_ptr<RunLoopMainQueue> queue = std::make_shared<RunLoopMainQueue>(RunLoopMainQueue::ClockMode::manual);
    std::shared_ptr<InMemorySettingsStore> settings = std::make_shared<InMemorySettingsStore>();
    std::shared_ptr<RecordingEosLink> link = std::make_shared<RecordingEosLink>();
    std::shared_ptr<ScriptedChooser> chooser = std::make_shared<ScriptedChooser>();
    std::shared_ptr<LightingFileMonitor> monitor;
    std::unique_ptr<EosConfigurationView> view;
};

TEST_F(EosConfigurationViewTest, FirstShowingFillsThePortFieldAndStartsMonitoringOnce) {
    makeView();
    EXPECT_EQ(portField()->text(), "");
    EXPECT_FALSE(monitor->isMonitoring());

    show();
    EXPECT_EQ(portField()->text(), "8555");
    EXPECT_TRUE(monitor->isMonitoring());
    EXPECT_EQ(link->connectCount, 1);
    ASSERT_EQ(monitor->events().size(), 1u);

    view->hide();
    show();
    EXPECT_EQ(link->connectCount, 1);
    EXPECT_EQ(monitor->events().size(), 1u);
}

TEST_F(EosConfigurationViewTest, TypedLettersAreDroppedAndTheDigitsBecomeThePort) {
    makeView();
    show();
    portField()->selectAll();
    QTest::keyClicks(portField(), "80a");
    EXPECT_EQ(portField()->text(), "80");
    EXPECT_EQ(portField()->cursorPosition(), 2);
    EXPECT_EQ(monitor->eosPort(), 80);

    // Keystrokes within the debounce end in a single reconfiguration.
    const auto before = link->configurations.size();
    passDebounce();
    ASSERT_EQ(link->configurations.size(), before + 1);
    EXPECT_EQ(link->configurations.back().port, 80);
    EXPECT_EQ(settings->integerValue("eosPort"), 80);
}

TEST_F(EosConfigurationViewTest, APortAbove65535StaysInTheFieldAndLeavesThePort) {
    makeView();
    show();
    replacePortText("70000");
    EXPECT_EQ(portField()->text(), "70000");
    EXPECT_EQ(monitor->eosPort(), 8555);
    passDebounce();
    EXPECT_EQ(settings->integerValue("eosPort"), 8555);
}

TEST_F(EosConfigurationViewTest, AChangeOfTheMonitorsPortRewritesTheField) {
    makeView();
    show();
    // Leading zeros are accepted for the port and then shown as the
    // monitor holds it.
    replacePortText("0081");
    EXPECT_EQ(monitor->eosPort(), 81);
    EXPECT_EQ(portField()->text(), "81");

    monitor->setEosPort(9000);
    EXPECT_EQ(portField()->text(), "9000");
}

TEST_F(EosConfigurationViewTest, HostEditsReachTheMonitorAndABlankHostComesBackNormalised) {
    makeView();
    show();
    hostField()->selectAll();
    QTest::keyClicks(hostField(), "console");
    EXPECT_EQ(monitor->eosHost(), "console");
    passDebounce();
    EXPECT_EQ(settings->stringValue("eosHost"), "console");
    EXPECT_EQ(link->configurations.back().host, "console");

    hostField()->selectAll();
    QTest::keyClick(hostField(), Qt::Key_Backspace);
    EXPECT_EQ(hostField()->text(), "");
    passDebounce();
    EXPECT_EQ(monitor->eosHost(), "127.0.0.1");
    EXPECT_EQ(hostField()->text(), "127.0.0.1");
    EXPECT_EQ(hostField()->placeholderText(), "127.0.0.1");
}

TEST_F(EosConfigurationViewTest, TogglesWriteTheOptionsAndFollowTheMonitor) {
    makeView();
    show();
    auto* update = child<SwitchToggle>("updateOnConnectToggle");
    auto* labels = child<SwitchToggle>("syncLabelsToggle");
    EXPECT_FALSE(update->isChecked());
    QTest::mouseClick(labels, Qt::LeftButton);
    EXPECT_TRUE(monitor->optSyncLabels());
    EXPECT_EQ(settings->boolValue("optSyncLabels"), true);
    EXPECT_FALSE(monitor->optUpdateOnConnect());

    monitor->setOptUpdateOnConnect(true);
    EXPECT_TRUE(update->isChecked());
    update->click();
    EXPECT_FALSE(monitor->optUpdateOnConnect());
    EXPECT_EQ(settings->boolValue("optUpdateOnConnect"), false);
}

TEST_F(EosConfigurationViewTest, TheWarningBoxIsShownExactlyWhileDeletingCuesIsOn) {
    makeView();
    show();
    auto* warning = child<WarningBox>("deleteWarning");
    auto* toggle = child<SwitchToggle>("deleteCuesToggle");
    EXPECT_FALSE(warning->isVisible());

    toggle->click();
    EXPECT_TRUE(monitor->optDeleteCues());
    EXPECT_TRUE(warning->isVisible());
    EXPECT_EQ(warning->text(),
              "Deleting cues from Tempolane will DELETE the corresponding cue in Eos.\n"
              "You probably do not want to enable this if you already have data in cues!");

    monitor->setOptDeleteCues(false);
    EXPECT_FALSE(toggle->isChecked());
    EXPECT_FALSE(warning->isVisible());
}

TEST_F(EosConfigurationViewTest, ThePillFollowsTheConnection) {
    makeView();
    show();
    auto* pill = child<ConnectionPill>("connectionPill");
    EXPECT_EQ(pill->text(), "Not Connected");
    EXPECT_EQ(pill->color(), QColor(255, 69, 58));

    link->reportConnected(true);
    EXPECT_TRUE(monitor->isEosConnected());
    EXPECT_EQ(pill->text(), "Connected to Eos");
    EXPECT_EQ(pill->color(), QColor(48, 209, 88));

    link->reportConnected(false);
    EXPECT_EQ(pill->text(), "Not Connected");
}

TEST_F(EosConfigurationViewTest, AFileWithoutTheHeaderIsRefusedWithTheAlert) {
    const auto bad = scratch.write("bad.xml", "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<Other/>\n");
    makeView();
    show();
    auto* path = child<MiddleElidedLabel>("filePath");
    EXPECT_EQ(path->fullText().toStdString(), firstFile.string());

    chooser->answers.push_back(bad.string());
    child<QPushButton>("selectButton")->click();
    EXPECT_EQ(chooser->asked, 1);

    ASSERT_TRUE(view->fileSelectionErrorMessage());
    EXPECT_TRUE(view->fileSelectionErrorMessage()->startsWith(
        "The selected XML file is not a valid Tempolane file.\nRequired header format:\n"));
    QMessageBox* alert = view->fileSelectionAlert();
    ASSERT_NE(alert, nullptr);
    EXPECT_TRUE(alert->isVisible());
    EXPECT_EQ(alert->windowTitle(), "Invalid Tempolane File");
    EXPECT_EQ(alert->informativeText(), *view->fileSelectionErrorMessage());
    ASSERT_EQ(alert->buttons().size(), 1);
    EXPECT_EQ(alert->buttons().front()->text(), "OK");
    EXPECT_EQ(alert->buttonRole(alert->buttons().front()), QMessageBox::RejectRole);

    EXPECT_EQ(monitor->fileURL(), firstFile);
    EXPECT_EQ(path->fullText().toStdString(), firstFile.string());

    alert->buttons().front()->click();
    EXPECT_FALSE(view->fileSelectionErrorMessage());
}

TEST_F(EosConfigurationViewTest, AnUnreadableFileShowsTheReadFailure) {
    std::filesystem::create_directory(scratch.path("folder.xml"));
    makeView();
    show();
    chooser->answers.push_back(scratch.path("folder.xml").string());
    view->selectMarkerFile();
    ASSERT_TRUE(view->fileSelectionErrorMessage());
    EXPECT_TRUE(view->fileSelectionErrorMessage()->startsWith("Unable to read XML file: "));
    EXPECT_EQ(monitor->fileURL(), firstFile);
    view->fileSelectionAlert()->reject();
    EXPECT_FALSE(view->fileSelectionErrorMessage());
}

TEST_F(EosConfigurationViewTest, AValidFileReplacesThePathAndACancelChangesNothing) {
    const auto second = scratch.write("second.xml", testing::emptyMarkerFile);
    makeView();
    show();
    const auto eventsBefore = monitor->events().size();

    chooser->answers.push_back(std::nullopt);
    view->selectMarkerFile();
    EXPECT_EQ(monitor->fileURL(), firstFile);

    chooser->answers.push_back(second.string());
    view->selectMarkerFile();
    EXPECT_FALSE(view->fileSelectionErrorMessage());
    EXPECT_EQ(view->fileSelectionAlert(), nullptr);
    EXPECT_EQ(monitor->fileURL(), second);
    EXPECT_EQ(child<MiddleElidedLabel>("filePath")->fullText().toStdString(), second.string());
    EXPECT_EQ(settings->stringValue("tempolaneFilePath"), second.string());
    EXPECT_EQ(monitor->events().size(), eventsBefore + 1);

    // The file already monitored: no alert, no new snapshot.
    chooser->answers.push_back(second.string());
    view->selectMarkerFile();
    EXPECT_FALSE(view->fileSelectionErrorMessage());
    EXPECT_EQ(monitor->events().size(), eventsBefore + 1);
}

TEST_F(EosConfigurationViewTest, ALongPathIsShortenedInTheMiddleButCopiedWhole) {
    const std::string longName(300, 'm');
    const auto deep = scratch.write(longName.substr(0, 200) + ".xml", testing::emptyMarkerFile);
    settings->setString("tempolaneFilePath", deep.string());
    makeView();
    show();
    auto* path = child<MiddleElidedLabel>("filePath");
    const QString full = QString::fromStdString(deep.string());
    EXPECT_EQ(path->fullText(), full);
    EXPECT_NE(path->text(), full);
    EXPECT_TRUE(path->text().contains(QChar(0x2026)));
    EXPECT_TRUE(path->text().endsWith(".xml"));
    EXPECT_TRUE(full.startsWith(path->text().section(QChar(0x2026), 0, 0)));
    EXPECT_LE(path->fontMetrics().horizontalAdvance(path->text()), path->width());

    QGuiApplication::clipboard()->clear();
    path->setFocus();
    path->setSelection(0, static_cast<int>(path->text().size()));
    ASSERT_TRUE(path->hasSelectedText());
    QTest::keyClick(path, Qt::Key_C, Qt::ControlModifier);
    EXPECT_EQ(QGuiApplication::clipboard()->text(), full);
}

// The brightest pixel of a widget's area in the image.
int brightestIn(const QImage& image, const QRect& area) {
    int brightest = 0;
    for (int y = area.top(); y <= area.bottom(); ++y) {
        for (int x = area.left(); x <= area.right(); ++x) {
            brightest = std::max(brightest, image.pixelColor(x, y).lightness());
        }
    }
    return brightest;
}

TEST_F(EosConfigurationViewTest, RendersTheWindow) {
    settings->setBool("optDeleteCues", true);
    // A light desktop must not leak dark text into the dark window.
    const QPalette desktopPalette = QApplication::palette();
    QPalette light;
    light.setColor(QPalette::Window, Qt::white);
    light.setColor(QPalette::WindowText, Qt::black);
    light.setColor(QPalette::Text, Qt::black);
    QApplication::setPalette(light);
    makeView();
    show();
    QApplication::setPalette(desktopPalette);
    link->reportConnected(true);
    QImage image = view->grab().toImage();
    image.setDevicePixelRatio(1);
    ASSERT_EQ(image.size(), QSize(532, 650) * view->devicePixelRatio());

    // The background outside the cards is the fixed near-black.
    EXPECT_EQ(image.pixelColor(3, image.height() / 2), QColor(16, 16, 16));
    // The icon is clipped: its corner pixel shows the background.
    const auto* icon = child<QLabel>("appIcon");
    const QPoint iconCorner = icon->mapTo(view.get(), QPoint(0, 0));
    EXPECT_EQ(image.pixelColor(iconCorner), QColor(16, 16, 16));
    // The pill's dot is green while connected.
    const auto* pill = child<ConnectionPill>("connectionPill");
    const QPoint dot = pill->mapTo(view.get(), QPoint(14, pill->height() / 2));
    const QColor dotColor = image.pixelColor(dot);
    EXPECT_GT(dotColor.green(), 150) << dotColor.name().toStdString();
    EXPECT_LT(dotColor.red(), 100) << dotColor.name().toStdString();

    for (const QLabel* title : view->findChildren<QLabel*>("sectionTitle")) {
        EXPECT_GT(brightestIn(image, QRect(title->mapTo(view.get(), QPoint(0, 0)), title->size())), 180)
            << title->text().toStdString();
    }

    if (const QByteArray target = qgetenv("LANTERNWICK_SCREENSHOT"); !target.isEmpty()) {
        EXPECT_TRUE(image.save(QString::fromLocal8Bit(target), "PNG"));
    }
}

}  // namespace
}  // namespace lanternwick
