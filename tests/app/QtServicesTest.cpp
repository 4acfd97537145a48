// The Qt implementations of the monitor's main queue and settings store.

#include "app/QSettingsStore.h"
#include "app/QtMainQueue.h"

#include <atomic>
#include <thread>

#include <QElapsedTimer>
#include <QSettings>
#include <QTest>
#include <QThread>
#include <gtest/gtest.h>

#include "app/QtTestSupport.h"

namespace lanternwick {
namespace {

using namespace std::chrono_literals;

TEST(QtMainQueue, DelayedTasksWaitTheirDelayAndNeitherACancelledOneNorOneOfAQueueGoneRuns) {
    testing::ensureQtApplication();
    QtMainQueue queue;
    QElapsedTimer clock;
    clock.start();
    qint64 ranAfter = -1;
    bool wrongOneRan = false;
    queue.asyncAfter(120ms, [&] { ranAfter = clock.elapsed(); });
    queue.asyncAfter(60ms, [&] { wrongOneRan = true; }).cancel();
    {
        QtMainQueue gone;
        gone.async([&] { wrongOneRan = true; });
        gone.asyncAfter(10ms, [&] { wrongOneRan = true; });
    }
    EXPECT_TRUE(QTest::qWaitFor([&] { return ranAfter >= 0; }, 3000));
    EXPECT_GE(ranAfter, 115);
    QTest::qWait(100);
    EXPECT_FALSE(wrongOneRan);
}

TEST(QtMainQueue, TasksFromOtherThreadsRunOnTheGuiThread) {
    testing::ensureQtApplication();
    QtMainQueue queue;
    std::atomic<int> ran = 0;
    std::atomic<bool> allOnGuiThread = true;
    QThread* const gui = QThread::currentThread();
    const auto task = [&] {
        allOnGuiThread = allOnGuiThread && QThread::currentThread() == gui;
        ++ran;
    };
    std::thread worker([&] {
        for (int i = 0; i < 50; ++i) {
            queue.async(task);
        }
        // A timer started off the GUI thread would never fire.
        queue.asyncAfter(20ms, task);
    });
    worker.join();
    EXPECT_TRUE(QTest::qWaitFor([&] { return ran == 51; }, 3000));
    EXPECT_TRUE(allOnGuiThread);
}

TEST(QSettingsStore, ValuesReadBackTheSameAfterARestartAndTextIsNotReadAsABoolean) {
    testing::ensureQtApplication();
    const testing::ScratchFolder scratch;
    const QString ini = QString::fromStdString(scratch.path("settings.ini").string());
    {
        QSettingsStore store(ini);
        store.setString("tempolaneFilePath", "/shows/My Show/Lighting.xml");
        store.setString("eosHost", " 10.1.1.2\n");
        store.setInteger("eosPort", 8555);
        store.setBool("optUpdateOnConnect", true);
        store.setBool("optDeleteCues", false);
        // What a hand-edited file may hold.
        QSettings raw(ini, QSettings::IniFormat);
        raw.setValue("optSyncLabels", "yes");
        raw.setValue("badPort", "80a");
        raw.setValue("negative", "-1");
    }
    const QSettingsStore store(ini);
    EXPECT_EQ(store.stringValue("tempolaneFilePath"), "/shows/My Show/Lighting.xml");
    EXPECT_EQ(store.stringValue("eosHost"), " 10.1.1.2\n");
    EXPECT_EQ(store.value("eosPort"), SettingsStore::Value(std::int64_t{8555}));
    EXPECT_EQ(store.value("optUpdateOnConnect"), SettingsStore::Value(true));
    EXPECT_EQ(store.boolValue("optDeleteCues"), false);
    EXPECT_EQ(store.boolValue("optSyncLabels"), std::nullopt);
    EXPECT_EQ(store.stringValue("optSyncLabels"), "yes");
    EXPECT_EQ(store.integerValue("badPort"), std::nullopt);
    EXPECT_EQ(store.integerValue("negative"), -1);
    EXPECT_EQ(store.value("absent"), std::nullopt);
}

}  // namespace
}  // namespace lanternwick
