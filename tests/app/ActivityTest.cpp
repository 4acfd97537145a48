// The activity window, the status line that opens it and the connection
// pill, fed by a monitor on a recording link with outcomes made here.

#include <QAction>
#include <QClipboard>
#include <QDir>
#include <QHeaderView>
#include <QImage>
#include <QLabel>
#include <QLineEdit>
#include <QMenuBar>
#include <QPlainTextEdit>
#include <QRegularExpression>
#include <QSortFilterProxyModel>
#include <QTableView>
#include <QTest>
#include <gtest/gtest.h>

#include "app/ActivityModel.h"
#include "app/ActivityStatusLine.h"
#include "app/ActivityWindow.h"
#include "app/ConnectionPill.h"
#include "app/EosConfigurationView.h"
#include "app/LanternwickWindow.h"
#include "app/MarkerFileChooser.h"
#include "app/QtTestSupport.h"
#include "app/Theme.h"
#include "common/MarkerFileText.h"
#include "common/RecordingEosLink.h"
#include "support/RunLoopMainQueue.h"

namespace lanternwick {
namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::system_clock;

struct NoChooser final : MarkerFileChooser {
    std::optional<std::string> chooseMarkerFile(QWidget*) override { return std::nullopt; }
};

const std::string command = "/eos/user/0/newcmd";

class ActivityTest : public ::testing::Test {
protected:
    void SetUp() override {
        testing::ensureQtApplication();
        writeFade("2");
        settings->setString("tempolaneFilePath", file.string());
        settings->setBool("optDeleteCues", true);
        monitor = LightingFileMonitor::create({
            .mainQueue = std::make_shared<RunLoopMainQueue>(RunLoopMainQueue::ClockMode::manual),
            .settings = settings,
            .deletionPrompt = nullptr,
            .fileSystem = nullptr,
            .eosLink = link,
            .pollTimer = [](MainQueue::Duration, std::function<void()>) { return CancelHandle(); },
        });
        window = std::make_unique<LanternwickWindow>(monitor, std::make_shared<NoChooser>(), QUrl(), nullptr);
    }

    void writeFade(const char* fade) const {
        std::ofstream(file, std::ios::binary) << testing::markerFileText({{.cue = "5", .label = "Intro", .fade = fade}});
    }
    void report(SyncOutcome::Detail detail) const { link->callbacks.onOutcome(makeOutcome(std::move(detail))); }
    void linkBecomes(LinkStatus status) const {
        link->callbacks.onLinkStatusChanged(status);
        report(ConnectionChange{status, "127.0.0.1", 8555});
    }

    // A short programming session: the start, a console that refuses and
    // then comes, a fade edit sent, a label not synced, a reply, a question.
    void playSession() {
        window->show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(window.get()));
        linkBecomes({LinkState::connecting, "", 0});
        linkBecomes({LinkState::notConnected, "Connection refused", 0});
        report(LineOutcome{command, "Cue 1 / 5 Time 3 #", LineFate::held, "not connected"});
        linkBecomes({LinkState::connected, "", 0});
        report(LineOutcome{"/eos/user/0/key/blind", "", LineFate::sent, ""});
        report(LineOutcome{command, "Cue 1 / 5 Time 3 #", LineFate::sent, ""});
        writeFade("3");
        monitor->pollOnce();
        report(LineOutcome{command, "Cue 1 / 5 Time 3 #", LineFate::sent, ""});
        report(SkippedCommand{1, "5", "label", std::string(skipReason::labelSyncOff)});
        report(ReceivedReply{"/eos/out/get/cue/1/5/0/list/0/1", "\"5\", \"Intro\""});
        report(DeletionQuestion{1, "7", false, false});
    }

    ActivityWindow* openActivity() {
        window->menuBar()->findChild<QAction*>("showActivity")->trigger();
        ActivityWindow* activity = window->activityWindow();
        EXPECT_TRUE(activity && QTest::qWaitForWindowActive(activity));
        return activity;
    }

    static QStringList column(const QAbstractItemModel& model, int column) {
        QStringList texts;
        for (int row = 0; row < model.rowCount(); ++row) texts << model.index(row, column).data().toString();
        return texts;
    }

    testing::ScratchFolder scratch;
    std::filesystem::path file = scratch.path("Lighting.xml");
    std::shared_ptr<InMemorySettingsStore> settings = std::make_shared<InMemorySettingsStore>();
    std::shared_ptr<testing::RecordingEosLink> link = std::make_shared<testing::RecordingEosLink>();
    std::shared_ptr<LightingFileMonitor> monitor;
    std::unique_ptr<LanternwickWindow> window;
};

TEST_F(ActivityTest, ShowsEverythingNewestFirstLiveAndFiltered) {
    playSession();
    // Made halfway through: what came before is merged by time, what comes
    // after arrives live.
    ActivityWindow* activity = openActivity();
    report(LineOutcome{command, "Cue 1 / 6 Label Red #", LineFate::dropped, "write queue full"});
    const ActivityModel& model = *activity->model();
    EXPECT_EQ(column(model, ActivityModel::kindColumn),
              (QStringList{"Dropped", "Question", "Reply", "Skipped", "Sent", "Modified", "Sent", "Sent", "Connection",
                           "Held", "Connection", "Connection", "Initial Snapshot"}));
    EXPECT_EQ(column(model, ActivityModel::summaryColumn).mid(0, 4),
              (QStringList{"Cue 1 / 6 Label Red # (write queue full)", "Delete Cue 1/7 from Eos? No",
                           "/eos/out/get/cue/1/5/0/list/0/1 \"5\", \"Intro\"", "cue 1/5 label: label sync is off"}));
    EXPECT_EQ(column(model, ActivityModel::summaryColumn).mid(8, 3),
              (QStringList{"connected to 127.0.0.1:8555", "Cue 1 / 5 Time 3 # (not connected)",
                           "not connected to 127.0.0.1:8555 (Connection refused)"}));

    const struct {
        const char* filter;
        QStringList kinds;
    } filters[] = {
        {"skipped", {"Skipped"}},
        {"LABEL SYNC", {"Skipped"}},
        {"time 3", {"Sent", "Sent", "Held"}},
        {"refused", {"Connection"}},
        {"fade changed", {"Modified"}},
        {"Baseline snapshot", {"Initial Snapshot"}},  // only in the details
        {"nothing like this", {}},
    };
    for (const auto& f : filters) {
        QTest::keyClicks(activity->filterField(), f.filter);
        EXPECT_EQ(column(*activity->filteredModel(), ActivityModel::kindColumn), f.kinds) << f.filter;
        activity->filterField()->clear();
    }
    // A filtered view stays live.
    QTest::keyClicks(activity->filterField(), "dropped");
    report(LineOutcome{command, "Cue 1 / 8 #", LineFate::dropped, "not connected"});
    EXPECT_EQ(activity->filteredModel()->rowCount(), 2);
    EXPECT_EQ(activity->findChild<QLabel*>("activityCount")->text(), "2 of 14");
}

TEST_F(ActivityTest, KeepsTheSelectionAndTheMonitorsBoundAndCopiesAsText) {
    playSession();
    ActivityWindow* activity = openActivity();
    QTableView* table = activity->table();
    const auto selectRow = [&](int row, QItemSelectionModel::SelectionFlags how) {
        table->selectionModel()->setCurrentIndex(activity->filteredModel()->index(row, 0), how | QItemSelectionModel::Rows);
    };
    selectRow(2, QItemSelectionModel::ClearAndSelect);  // the skipped label
    selectRow(0, QItemSelectionModel::Select);          // the question
    EXPECT_TRUE(activity->detailsView()->toPlainText().contains("Answer: No\nDo not ask again: no"))
        << activity->detailsView()->toPlainText().toStdString();

    QGuiApplication::clipboard()->clear();
    table->setFocus();
    QTest::keyClick(table, Qt::Key_C, Qt::ControlModifier);
    const QString copied = QGuiApplication::clipboard()->text().replace(
        QRegularExpression(R"(^\d{4}-\d\d-\d\d \d\d:\d\d:\d\d\.\d{3}\t)", QRegularExpression::MultilineOption),
        "T\t");
    EXPECT_EQ(copied.toStdString(),
              "T\tQuestion\tDelete Cue 1/7 from Eos? No\n"
              "    Cue: 1/7\n    Answer: No\n    Do not ask again: no\n"
              "T\tSkipped\tcue 1/5 label: label sync is off\n"
              "    Cue: 1/5\n    Command: label\n    Reason: label sync is off\n");

    // New rows above leave the selection on the same records.
    report(LineOutcome{command, "Cue 1 / 9 #", LineFate::sent, ""});
    QStringList selectedKinds;
    for (const QModelIndex& row : table->selectionModel()->selectedRows(ActivityModel::kindColumn)) {
        selectedKinds << row.data().toString();
    }
    selectedKinds.sort();
    EXPECT_EQ(selectedKinds, (QStringList{"Question", "Skipped"}));

    // A record stamped earlier than those shown goes where its time puts it.
    monitor->recordOutcome({Uuid::random(), monitor->events().back().timestamp - 1h,
                            ReceivedReply{"/eos/out/get/cue/1/4/0/list/0/1", "late"}});
    EXPECT_EQ(column(*activity->model(), ActivityModel::summaryColumn).back(), "/eos/out/get/cue/1/4/0/list/0/1 late");

    // The monitor keeps its newest outcomes only; the table follows, and
    // keeps every event.
    for (std::size_t i = 0; i < LightingFileMonitor::messageLogLimit; ++i) {
        report(LineOutcome{command, "Cue 1 / 10 #", LineFate::sent, ""});
    }
    const ActivityModel& model = *activity->model();
    EXPECT_EQ(model.rowCount(), static_cast<int>(LightingFileMonitor::messageLogLimit + monitor->events().size()));
    EXPECT_EQ(column(model, ActivityModel::kindColumn).filter("Snapshot").size(), 1);
    EXPECT_EQ(column(model, ActivityModel::kindColumn).count("Modified"), 1);
    EXPECT_TRUE(table->selectionModel()->selectedRows().isEmpty()) << "the selected records are gone";
}

TEST_F(ActivityTest, TheStatusLineSaysWhatFollowedTheLastEventAndOpensTheOneActivityWindow) {
    const auto at = [](int second) { return Clock::time_point(std::chrono::seconds(1714572120 + second)); };
    const auto outcome = [](Clock::time_point time, SyncOutcome::Detail detail) {
        return SyncOutcome{Uuid::random(), time, std::move(detail)};
    };
    LightingChangeEvent modified;
    modified.kind = LightingChangeEvent::Kind::modified;
    modified.timestamp = at(3);
    const LineOutcome sent{command, "Cue 1 / 5 #", LineFate::sent, ""};
    const std::vector<SyncOutcome> outcomes = {
        outcome(at(5), SkippedCommand{1, "5", "label", "label sync is off"}),
        outcome(at(4), sent),
        outcome(at(4), LineOutcome{command, "Cue 1 / 6 #", LineFate::held, "not connected"}),
        outcome(at(3), sent),
        outcome(at(3), ReceivedReply{"/eos/out/get/cue/1/5", "x"}),
        outcome(at(1), sent),  // before the event: not counted
    };
    const LinkStatus down{LinkState::notConnected, "Connection refused", 1};
    const QString clock = activityClockText(at(3));
    const struct {
        std::vector<LightingChangeEvent> events;
        std::vector<SyncOutcome> outcomes;
        LinkStatus link;
        QString expected;
    } cases[] = {
        {{}, {}, {}, "No file activity yet"},
        {{}, outcomes, {}, "No file activity yet \u00b7 3 sent \u00b7 1 held \u00b7 1 skipped"},
        {{modified}, {}, {LinkState::connected, "", 0}, clock + " \u00b7 Modified"},
        {{modified}, outcomes, {}, clock + " \u00b7 Modified \u00b7 2 sent \u00b7 1 held \u00b7 1 skipped"},
        {{modified}, {outcome(at(4), LineOutcome{command, "x", LineFate::dropped, "gone"})}, down,
         clock + " \u00b7 Modified \u00b7 1 dropped \u00b7 not connected (Connection refused)"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(activityStatusText(c.events, c.outcomes, c.link), c.expected) << c.expected.toStdString();
    }

    window->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(window.get()));
    auto* status = window->configurationView()->findChild<ActivityStatusLine*>("activityStatus");
    ASSERT_NE(status, nullptr);
    report(LineOutcome{command, "Cue 1 / 5 Time 3 #", LineFate::sent, ""});
    EXPECT_TRUE(status->fullText().endsWith(" \u00b7 Initial Snapshot \u00b7 1 sent")) << status->fullText().toStdString();
    EXPECT_EQ(window->activityWindow(), nullptr);
    QTest::mouseClick(status, Qt::LeftButton);
    ActivityWindow* activity = window->activityWindow();
    ASSERT_NE(activity, nullptr);
    EXPECT_TRUE(activity->isVisible());
    activity->close();
    window->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(window.get()));
    QTest::keyClick(window.get(), Qt::Key_L, Qt::ControlModifier);
    EXPECT_EQ(window->activityWindow(), activity) << "one activity window per application";
    EXPECT_TRUE(activity->isVisible());
}

TEST_F(ActivityTest, ThePillShowsTheLinkAndWhyItIsDown) {
    window->show();
    auto* pill = window->configurationView()->findChild<ConnectionPill*>("connectionPill");
    ASSERT_NE(pill, nullptr);
    const struct {
        LinkStatus status;
        const char* text;
        QColor color;
        const char* tooltip;
    } cases[] = {
        {{LinkState::connecting, "", 0}, "Connecting\u2026", theme::connectingAmber(), ""},
        {{LinkState::connected, "", 0}, "Connected to Eos", theme::connectedGreen(), ""},
        {{LinkState::notConnected, "Connection refused", 3}, "Not Connected \u00b7 3 held", theme::disconnectedRed(),
         "Connection refused"},
        {{LinkState::connecting, "", 12}, "Connecting\u2026 \u00b7 12 held", theme::connectingAmber(), ""},
        {{LinkState::notConnected, "", 0}, "Not Connected", theme::disconnectedRed(), ""},
    };
    for (const auto& c : cases) {
        link->callbacks.onLinkStatusChanged(c.status);
        EXPECT_EQ(pill->text(), c.text);
        EXPECT_EQ(pill->color(), c.color) << c.text;
        EXPECT_EQ(pill->toolTip(), c.tooltip) << c.text;
    }
    // The reason is in the status line as well.
    link->callbacks.onLinkStatusChanged({LinkState::notConnected, "No route to host", 0});
    EXPECT_TRUE(window->configurationView()->findChild<ActivityStatusLine*>("activityStatus")->fullText().endsWith(
        "not connected (No route to host)"));
}

// Writes activity-window.png and main-window.png to the build folder, for a
// person to look at; asserts what a glance must show.
TEST_F(ActivityTest, Screenshots) {
    playSession();
    link->callbacks.onLinkStatusChanged({LinkState::connected, "", 0});
    ActivityWindow* activity = openActivity();
    activity->resize(780, 420);
    ASSERT_TRUE(QTest::qWaitForWindowExposed(activity));
    activity->table()->selectRow(3);

    const QString folder = qEnvironmentVariableIsEmpty("LANTERNWICK_SCREENSHOT_DIR")
                               ? QDir::currentPath()
                               : qEnvironmentVariable("LANTERNWICK_SCREENSHOT_DIR");
    QImage shot = activity->grab().toImage();
    EXPECT_TRUE(shot.save(QDir(folder).filePath("activity-window.png")));
    shot.setDevicePixelRatio(1);
    EXPECT_EQ(shot.pixelColor(4, shot.height() / 2), theme::background());
    const QWidget* table = activity->table()->viewport();
    const QColor tableBackground = shot.pixelColor(table->mapTo(activity, QPoint(table->width() - 4, table->height() - 4)));
    EXPECT_LT(tableBackground.lightness(), 60) << tableBackground.name().toStdString();

    // The status line sits in the free space above the disclaimer, even with
    // the deletion warning shown.
    const QImage main = window->grab().toImage();
    EXPECT_TRUE(main.save(QDir(folder).filePath("main-window.png")));
    const QWidget* view = window->configurationView();
    const auto* status = view->findChild<ActivityStatusLine*>("activityStatus");
    const auto* disclaimer = view->findChild<QLabel*>("disclaimer");
    const QWidget* options = view->findChild<QWidget*>("deleteWarning")->parentWidget();
    EXPECT_GE(status->height(), status->fontMetrics().height());
    EXPECT_LE(status->geometry().bottom(), disclaimer->geometry().top());
    EXPECT_GE(status->geometry().top(), options->geometry().bottom());
    EXPECT_EQ(view->size(), QSize(532, 650));
}

}  // namespace
}  // namespace lanternwick
