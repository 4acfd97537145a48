#include "app/QSettingsStore.h"

#include <QSettings>
#include <gtest/gtest.h>

#include "app/QtTestSupport.h"
#include "app/RecordingEosLink.h"
#include "monitor/LightingFileMonitor.h"
#include "support/RunLoopMainQueue.h"

namespace lanternwick {
namespace {

class QSettingsStoreTest : public ::testing::Test {
protected:
    void SetUp() override { testing::ensureQtApplication(); }

    QString iniPath() const { return QString::fromStdString(scratch.path("settings.ini").string()); }

    testing::ScratchFolder scratch;
};

TEST_F(QSettingsStoreTest, ValuesReadBackTheSameAfterARestart) {
    {
        QSettingsStore store(iniPath());
        store.setString("tempolaneFilePath", "/shows/My Show/Lighting.xml");
        store.setString("eosHost", " 10.1.1.2\n");
        store.setInteger("eosPort", 8555);
        store.setBool("optUpdateOnConnect", true);
        store.setBool("optDeleteCues", false);
    }
    const QSettingsStore store(iniPath());
    EXPECT_EQ(store.stringValue("tempolaneFilePath"), "/shows/My Show/Lighting.xml");
    EXPECT_EQ(store.stringValue("eosHost"), " 10.1.1.2\n");
    EXPECT_EQ(store.integerValue("eosPort"), 8555);
    EXPECT_EQ(store.boolValue("optUpdateOnConnect"), true);
    EXPECT_EQ(store.boolValue("optDeleteCues"), false);
    EXPECT_EQ(store.value("optUpdateOnConnect"), SettingsStore::Value(true));
    EXPECT_EQ(store.value("eosPort"), SettingsStore::Value(std::int64_t{8555}));
}

TEST_F(QSettingsStoreTest, TextThatIsNoBooleanOrIntegerIsNotReadAsOne) {
    {
        QSettings raw(iniPath(), QSettings::IniFormat);
        raw.setValue("optSyncLabels", "yes");
        raw.setValue("eosPort", "80a");
        raw.setValue("negative", "-1");
        raw.setValue("big", "70000");
    }
    const QSettingsStore store(iniPath());
    EXPECT_EQ(store.boolValue("optSyncLabels"), std::nullopt);
    EXPECT_EQ(store.stringValue("optSyncLabels"), "yes");
    EXPECT_EQ(store.integerValue("eosPort"), std::nullopt);
    EXPECT_EQ(store.integerValue("negative"), -1);
    EXPECT_EQ(store.integerValue("big"), 70000);
}

TEST_F(QSettingsStoreTest, AMonitorStartsOnWhatTheLastRunSaved) {
    const auto markerFile = scratch.write("show.xml", testing::emptyMarkerFile);
    auto makeMonitor = [&](std::shared_ptr<SettingsStore> settings) {
        return LightingFileMonitor::create({
            .mainQueue = std::make_shared<RunLoopMainQueue>(RunLoopMainQueue::ClockMode::manual),
            .settings = std::move(settings),
            .deletionPrompt = nullptr,
            .fileSystem = nullptr,
            .eosLink = std::make_shared<testing::RecordingEosLink>(),
            .pollTimer = [](MainQueue::Duration, std::function<void()>) { return CancelHandle(); },
        });
    };
    {
        auto first = makeMonitor(std::make_shared<QSettingsStore>(iniPath()));
        ASSERT_TRUE(first->selectFile(markerFile).ok());
        first->setOptSyncLabels(true);
        first->setOptDeleteCues(true);
        first->setEosHost("console.local");
        first->setEosPort(3037);
        first->applyConnectionSettings();
    }
    auto second = makeMonitor(std::make_shared<QSettingsStore>(iniPath()));
    EXPECT_EQ(second->fileURL(), markerFile);
    EXPECT_EQ(second->eosHost(), "console.local");
    EXPECT_EQ(second->eosPort(), 3037);
    EXPECT_TRUE(second->optSyncLabels());
    EXPECT_TRUE(second->optDeleteCues());
    EXPECT_FALSE(second->optUpdateOnConnect());
}

}  // namespace
}  // namespace lanternwick
