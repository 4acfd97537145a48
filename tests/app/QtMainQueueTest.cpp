#include "app/QtMainQueue.h"

#include <atomic>
#include <thread>
#include <vector>

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QTest>
#include <QThread>
#include <gtest/gtest.h>

#include "app/QtTestSupport.h"

namespace lanternwick {
namespace {

using namespace std::chrono_literals;

class QtMainQueueTest : public ::testing::Test {
protected:
    void SetUp() override { testing::ensureQtApplication(); }
};

TEST_F(QtMainQueueTest, DelayedTasksWaitTheirDelayAndCanBeCancelled) {
    QtMainQueue queue;
    QElapsedTimer clock;
    clock.start();
    qint64 ranAfter = -1;
    bool cancelledRan = false;
    queue.asyncAfter(120ms, [&] { ranAfter = clock.elapsed(); });
    CancelHandle cancelled = queue.asyncAfter(60ms, [&] { cancelledRan = true; });
    cancelled.cancel();
    EXPECT_TRUE(QTest::qWaitFor([&] { return ranAfter >= 0; }, 3000));
    EXPECT_GE(ranAfter, 115);
    QTest::qWait(100);
    EXPECT_FALSE(cancelledRan);
}

TEST_F(QtMainQueueTest, TasksFromOtherThreadsRunOnTheGuiThread) {
    QtMainQueue queue;
    std::atomic<int> ran = 0;
    std::atomic<bool> allOnGuiThread = true;
    QThread* const gui = QThread::currentThread();
    std::thread worker([&] {
        for (int i = 0; i < 50; ++i) {
            queue.async([&] {
                allOnGuiThread = allOnGuiThread && QThread::currentThread() == gui;
                ++ran;
            });
        }
        queue.asyncAfter(20ms, [&] {
            allOnGuiThread = allOnGuiThread && QThread::currentThread() == gui;
            ++ran;
        });
    });
    worker.join();
    EXPECT_TRUE(QTest::qWaitFor([&] { return ran == 51; }, 3000));
    EXPECT_TRUE(allOnGuiThread);
}

TEST_F(QtMainQueueTest, NothingRunsOnceTheQueueIsGone) {
    bool ran = false;
    {
        QtMainQueue queue;
        queue.async([&] { ran = true; });
        queue.asyncAfter(10ms, [&] { ran = true; });
    }
    QTest::qWait(60);
    EXPECT_FALSE(ran);
}

}  // namespace
}  // namespace lanternwick
