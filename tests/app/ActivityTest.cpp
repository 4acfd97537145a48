// The activity window, the status line that opens it and the connection
// pill, fed by the scripted session.

#include <QAction>
#include <QClipboard>
#include <QDir>
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
#include "common/ScriptedSession.h"

namespace lanternwick {
namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::system_clock;

struct NoChooser final : MarkerFileChooser {
    std::optional<std::string> chooseMarkerFile(QWidget*) override { return std::nullopt; }
};

class ActivityTest : public ::testing::Test {
protected:
    void SetUp() override {
        testing::ensureQtApplication();
        window = std::make_unique<LanternwickWindow>(monitor, std::make_shared<NoChooser>(), QUrl(), nullptr);
        window->show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(window.get()));
    }

    void report(SyncOutcome::Detail detail) const { session.report(std::move(detail)); }
    LineOutcome line(const char* text, LineFate fate, const char* reason = "") const {
        return {session.command, text, fate, reason};
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

    testing::ScriptedSession session;
    std::shared_ptr<LightingFileMonitor> monitor = session.monitor;
    std::shared_ptr<testing::RecordingEosLink> link = session.link;
    std::unique_ptr<LanternwickWindow> window;
};

// Sent is not yet delivered: the rows a confirmation names turn "Confirmed",
// and normal fates read in neutral words.
TEST_F(ActivityTest, ConfirmationsMarkTheirLinesAndNormalFatesReadNeutral) {
    ActivityWindow* activity = openActivity();
    const ActivityModel& model = *activity->model();
    // A label may read like the fate line; only the fate line changes.
    const SyncOutcome first = makeOutcome(line("Cue 1 / 1 Label Fate: sent #", LineFate::sent));
    const SyncOutcome second = makeOutcome(line("Cue 1 / 2 #", LineFate::sent));
    for (const SyncOutcome& o : {first, second}) link->callbacks.onOutcome(o);
    report(line("Cue 1 / 3 #", LineFate::waiting, "not connected"));
    report(line("Cue 1 / 4 #", LineFate::replaced, "replaced by a newer line for the same cue"));
    report(DeliveryConfirmed{1, 12, {first.id}});
    EXPECT_EQ(column(model, ActivityModel::kindColumn).mid(0, 5),
              (QStringList{"Confirmed", "Replaced", "Waiting", "Sent", "Confirmed"}));
    EXPECT_EQ(column(model, ActivityModel::summaryColumn)[0], "1 line confirmed (12 ms)");
    const QString details = model.index(4, 0).data(ActivityModel::detailsRole).toString();
    EXPECT_TRUE(details.contains("Command line: Cue 1 / 1 Label Fate: sent #\nFate: confirmed")) << details.toStdString();
    EXPECT_EQ(model.index(1, ActivityModel::kindColumn).data(Qt::ForegroundRole).value<QColor>(),
              theme::secondaryText())
        << "Replaced is grey";
    EXPECT_EQ(model.index(4, ActivityModel::kindColumn).data(Qt::ForegroundRole).value<QColor>(),
              theme::connectedGreen());
}

TEST_F(ActivityTest, ShowsEverythingNewestFirstLiveAndFiltered) {
    session.play();
    // Made halfway through: what came before is merged by time, what comes
    // after arrives live.
    ActivityWindow* activity = openActivity();
    report(line("Cue 1 / 8 Label Blue #", LineFate::sent));
    const ActivityModel& model = *activity->model();
    EXPECT_EQ(column(model, ActivityModel::kindColumn),
              (QStringList{"Sent", "Connection", "Dropped", "Question", "Reply", "Skipped", "Modified", "Sent", "Sent",
                           "Connection", "Connection", "Held", "Connection", "Connection", "Connection", "Connection",
                           "Initial Snapshot"}));
    // Control characters from the console become blanks in a summary.
    EXPECT_EQ(column(model, ActivityModel::summaryColumn).mid(1, 5),
              (QStringList{"not connected to 127.0.0.1:8555 (Connection reset by peer)",
                           "Cue 1 / 6 Label Red [31m\uFFFD # (write queue full)",
                           "Delete Cue 1/7 from Eos? No, do not ask again",
                           "cue 1/5: label Intro , time 3 s, timecode 00:00:10:00", "cue 1/0 enter: cue id is 0"}));
    EXPECT_EQ(column(model, ActivityModel::summaryColumn).mid(10, 2),
              (QStringList{"not connected to 127.0.0.1:8555 (Connection refused) \u00b7 1 held",
                           "Cue 1 / 5 Time 3 # (not connected)"}));

    const struct {
        const char* filter;
        QStringList kinds;
    } filters[] = {
        {"skipped", {"Skipped"}},
        {"CUE ID IS", {"Skipped"}},
        {"time 3", {"Reply", "Sent", "Held"}},
        {"refused", {"Connection", "Connection", "Connection"}},
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
    report(line("Cue 1 / 8 #", LineFate::dropped, "not connected"));
    EXPECT_EQ(activity->filteredModel()->rowCount(), 2);
    EXPECT_EQ(activity->findChild<QLabel*>("activityCount")->text(), "2 of 18");
}

TEST_F(ActivityTest, KeepsTheSelectionAndTheMonitorsBoundAndCopiesAsText) {
    session.play();
    ActivityWindow* activity = openActivity();
    QTableView* table = activity->table();
    const auto selectRow = [&](int row, QItemSelectionModel::SelectionFlags how) {
        table->selectionModel()->setCurrentIndex(activity->filteredModel()->index(row, 0), how | QItemSelectionModel::Rows);
    };
    selectRow(4, QItemSelectionModel::ClearAndSelect);  // the skipped command
    selectRow(2, QItemSelectionModel::Select);          // the question
    EXPECT_TRUE(activity->detailsView()->toPlainText().contains("Answer: No\nDo not ask again: yes"))
        << activity->detailsView()->toPlainText().toStdString();

    QGuiApplication::clipboard()->clear();
    table->setFocus();
    QTest::keyClick(table, Qt::Key_C, Qt::ControlModifier);
    const QString copied = QGuiApplication::clipboard()->text().replace(
        QRegularExpression(R"(^\d{4}-\d\d-\d\d \d\d:\d\d:\d\d\.\d{3}\t)", QRegularExpression::MultilineOption),
        "T\t");
    EXPECT_EQ(copied.toStdString(),
              "T\tQuestion\tDelete Cue 1/7 from Eos? No, do not ask again\n"
              "    Cue: 1/7\n    Answer: No\n    Do not ask again: yes\n"
              "T\tSkipped\tcue 1/0 enter: cue id is 0\n"
              "    Cue: 1/0\n    Command: enter\n    Reason: cue id is 0\n");

    // New rows above leave the selection on the same records.
    report(line("Cue 1 / 9 #", LineFate::sent));
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

    // The monitor keeps its newest outcomes only (and its newest events);
    // the table follows.
    for (std::size_t i = 0; i < LightingFileMonitor::messageLogLimit; ++i) report(line("Cue 1 / 10 #", LineFate::sent));
    const ActivityModel& model = *activity->model();
    EXPECT_EQ(model.rowCount(), static_cast<int>(LightingFileMonitor::messageLogLimit + monitor->events().size()));
    EXPECT_EQ(column(model, ActivityModel::kindColumn).filter("Snapshot").size(), 1);
    EXPECT_EQ(column(model, ActivityModel::kindColumn).count("Modified"), 1);
    EXPECT_TRUE(table->selectionModel()->selectedRows().isEmpty()) << "the selected records are gone";
}

TEST_F(ActivityTest, TheStatusLineSaysHowThingsStandNowAndOpensTheOneActivityWindow) {
    const auto at = [](int second) { return Clock::time_point(std::chrono::seconds(1714572120 + second)); };
    const auto outcome = [](Clock::time_point time, SyncOutcome::Detail detail) {
        return SyncOutcome{Uuid::random(), time, std::move(detail)};
    };
    LightingChangeEvent modified;
    modified.kind = LightingChangeEvent::Kind::modified;
    modified.timestamp = at(3);
    const LineOutcome sent = line("Cue 1 / 5 #", LineFate::sent);
    const LineOutcome held = line("Cue 1 / 6 #", LineFate::held, "not connected");
    const LinkStatus connected{LinkState::connected, "", 0};
    // Newest first, as the monitor keeps them.
    const std::vector<SyncOutcome> outcomes = {
        outcome(at(5), SkippedCommand{1, "5", "label", "label sync is off"}),
        outcome(at(4), sent),
        outcome(at(4), held),
        outcome(at(3), sent),
        outcome(at(3), ReceivedReply{"/eos/out/get/cue/1/5", "x"}),
        outcome(at(1), sent),  // before the event: not its own
    };
    // Held while the console was away, then sent once it was back; the
    // update on connect's own line is not the change's.
    const std::vector<SyncOutcome> heldThenSent = {
        outcome(at(6), line("Cue 1 / 9 #", LineFate::sent)),
        outcome(at(6), line("Cue 1 / 6 #", LineFate::sent)),
        outcome(at(5), ConnectionChange{connected, "127.0.0.1", 8555}),
        outcome(at(4), held),
    };
    const QString clock = activityClockText(at(3));
    const struct {
        std::vector<LightingChangeEvent> events;
        std::vector<SyncOutcome> outcomes;
        LinkStatus link;
        QString expected;
    } cases[] = {
        {{}, {}, {}, "Not connected \u00b7 No file activity yet"},
        {{}, outcomes, connected, "Connected \u00b7 No file activity yet"},
        {{modified}, {}, connected, "Connected \u00b7 Modified " + clock},
        {{modified}, outcomes, {}, "Not connected \u00b7 Modified " + clock + ": 2 sent, 1 held, 1 skipped"},
        {{modified}, heldThenSent, connected, "Connected \u00b7 Modified " + clock + ": 1 sent"},
        {{modified}, {outcome(at(4), line("x", LineFate::dropped, "gone"))},
         {LinkState::notConnected, "Connection refused", 3},
         "Not connected (Connection refused) \u00b7 3 held \u00b7 Modified " + clock + ": 1 dropped"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(activityStatusText(c.events, c.outcomes, c.link), c.expected) << c.expected.toStdString();
    }

    auto* status = window->configurationView()->findChild<ActivityStatusLine*>("activityStatus");
    ASSERT_NE(status, nullptr);
    report(sent);
    EXPECT_TRUE(status->fullText().contains(" \u00b7 Initial Snapshot ") && status->fullText().endsWith(": 1 sent"))
        << status->fullText().toStdString();
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

TEST(ActivityWatchNote, TheWindowSaysWhenSavesAreNotReportedAndOnlyThen) {
    testing::ensureQtApplication();
    for (const bool watched : {true, false}) {
        const testing::ScriptedSession session(watched ? nullptr : noFileWatcher());
        LanternwickWindow window(session.monitor, std::make_shared<NoChooser>(), QUrl(), nullptr);
        window.show();  // monitoring starts with the window
        window.showActivity();
        const QString note = QString::fromStdString(session.monitor->fileWatchNote());
        EXPECT_EQ(note.isEmpty(), watched);
        const QLabel* shown = window.activityWindow()->watchNote();
        EXPECT_EQ(shown->isVisibleTo(window.activityWindow()), !watched);
        EXPECT_EQ(shown->text(), note);
        const auto* status = window.configurationView()->findChild<ActivityStatusLine*>("activityStatus");
        EXPECT_EQ(status->toolTip().contains("every second"), !watched) << status->toolTip().toStdString();
    }
}

TEST_F(ActivityTest, ThePillShowsTheLinkAndWhyItIsDown) {
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
        {{LinkState::noAnswer, "no answer from Eos on 127.0.0.1:80: is this", 2}, "No Answer \u00b7 2 held",
         theme::disconnectedRed(), "no answer from Eos on 127.0.0.1:80: is this"},
    };
    for (const auto& c : cases) {
        link->callbacks.onLinkStatusChanged(c.status);
        EXPECT_EQ(pill->text(), c.text);
        EXPECT_EQ(pill->color(), c.color) << c.text;
        EXPECT_EQ(pill->toolTip(), c.tooltip) << c.text;
    }
    // The reason is in the status line as well.
    link->callbacks.onLinkStatusChanged({LinkState::notConnected, "No route to host", 0});
    EXPECT_TRUE(window->configurationView()->findChild<ActivityStatusLine*>("activityStatus")->fullText().startsWith(
        "Not connected (No route to host)"));
}

// Writes activity-window.png and main-window.png to the build folder, for a
// person to look at; asserts what a glance must show.
TEST_F(ActivityTest, Screenshots) {
    session.play();
    link->callbacks.onLinkStatusChanged({LinkState::connected, "", 0});
    ActivityWindow* activity = openActivity();
    activity->resize(780, 420);
    ASSERT_TRUE(QTest::qWaitForWindowExposed(activity));
    activity->table()->selectRow(3);

    EXPECT_TRUE(testing::saveScreenshot(*activity, "activity-window.png"));
    QImage shot = activity->grab().toImage();
    shot.setDevicePixelRatio(1);
    EXPECT_EQ(shot.pixelColor(4, shot.height() / 2), theme::background());
    const QWidget* table = activity->table()->viewport();
    const QColor tableBackground = shot.pixelColor(table->mapTo(activity, QPoint(table->width() - 4, table->height() - 4)));
    EXPECT_LT(tableBackground.lightness(), 60) << tableBackground.name().toStdString();

    EXPECT_TRUE(testing::saveScreenshot(*window, "main-window.png"));
}

}  // namespace
}  // namespace lanternwick
