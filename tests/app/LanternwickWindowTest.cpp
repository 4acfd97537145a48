#include "app/LanternwickWindow.h"

#include <QAction>
#include <QDir>
#include <QMenu>
#include <QMenuBar>
#include <QTest>
#include <gtest/gtest.h>

#include "app/EosConfigurationView.h"
#include "app/HelpPage.h"
#include "app/MarkerFileChooser.h"
#include "app/QtTestSupport.h"
#include "app/RecordingEosLink.h"
#include "monitor/LightingFileMonitor.h"
#include "support/RunLoopMainQueue.h"

namespace lanternwick {
namespace {

class CancellingChooser final : public MarkerFileChooser {
public:
    std::optional<std::string> chooseMarkerFile(QWidget*) override { return std::nullopt; }
};

class DecliningPrompt final : public CueDeletionPrompt {
public:
    CueDeletionAnswer confirmCueDeletion(std::int64_t, std::string_view) override { return {}; }
};

void collectActions(const QList<QAction*>& actions, QList<QAction*>& into) {
    for (QAction* action : actions) {
        into << action;
        if (action->menu() != nullptr) {
            collectActions(action->menu()->actions(), into);
        }
    }
}

class LanternwickWindowTest : public ::testing::Test {
protected:
    void SetUp() override {
        testing::ensureQtApplication();
        settings->setString("tempolaneFilePath", scratch.write("show.xml", testing::emptyMarkerFile).string());
        monitor = LightingFileMonitor::create({
            .mainQueue = queue,
            .settings = settings,
            .deletionPrompt = std::make_shared<DecliningPrompt>(),
            .fileSystem = nullptr,
            .eosLink = std::make_shared<testing::RecordingEosLink>(),
            .pollTimer = [](MainQueue::Duration, std::function<void()>) { return CancelHandle(); },
        });
    }

    std::unique_ptr<LanternwickWindow> makeWindow(QUrl help) {
        return std::make_unique<LanternwickWindow>(monitor, std::make_shared<CancellingChooser>(), std::move(help),
                                                   [this](const QUrl& url) { opened << url; });
    }

    QMenu* helpMenu(LanternwickWindow& window) const {
        for (QAction* action : window.menuBar()->actions()) {
            if (action->menu() != nullptr && action->text().remove('&') == "Help") {
                return action->menu();
            }
        }
        return nullptr;
    }

    testing::ScratchFolder scratch;
    std::shared_ptr<RunLoopMainQueue> queue = std::make_shared<RunLoopMainQueue>(RunLoopMainQueue::ClockMode::manual);
    std::shared_ptr<InMemorySettingsStore> settings = std::make_shared<InMemorySettingsStore>();
    std::shared_ptr<LightingFileMonitor> monitor;
    QList<QUrl> opened;
};

TEST_F(LanternwickWindowTest, IsTitledAndCannotBeResized) {
    auto window = makeWindow({});
    window->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(window.get()));
    EXPECT_EQ(window->windowTitle(), "Lanternwick");
    EXPECT_EQ(window->configurationView()->size(), QSize(532, 650));
    EXPECT_EQ(window->minimumSize(), window->maximumSize());
    EXPECT_GE(window->height(), 650);
    EXPECT_EQ(window->width(), 532);

    window->resize(800, 900);
    QCoreApplication::processEvents();
    EXPECT_EQ(window->width(), 532);
    EXPECT_EQ(window->configurationView()->size(), QSize(532, 650));
}

TEST_F(LanternwickWindowTest, TheHelpItemOpensTheHelpPageOrNothing) {
    const QUrl page = QUrl::fromLocalFile(QString::fromStdString(scratch.path("help.html").string()));
    auto window = makeWindow(page);
    helpMenu(*window)->actions().front()->trigger();
    EXPECT_EQ(opened, QList<QUrl>{page});

    auto withoutPage = makeWindow(QUrl());
    helpMenu(*withoutPage)->actions().front()->trigger();
    EXPECT_EQ(opened.size(), 1);
}

TEST(HelpPage, IsFoundInstalledBesideBinOrNextToABuiltExecutable) {
    testing::ScratchFolder scratch;
    const QDir root(QString::fromStdString(scratch.path("").string()));
    ASSERT_TRUE(root.mkpath("prefix/bin"));
    EXPECT_FALSE(helpPageUrl(root.filePath("prefix/bin")).isValid());

    ASSERT_TRUE(root.mkpath("prefix/bin/help"));
    scratch.write("prefix/bin/help/index.html", "<html></html>");
    EXPECT_EQ(helpPageUrl(root.filePath("prefix/bin")).toLocalFile(),
              QFileInfo(root.filePath("prefix/bin/help/index.html")).canonicalFilePath());

    ASSERT_TRUE(root.mkpath("prefix/share/lanternwick/help"));
    scratch.write("prefix/share/lanternwick/help/index.html", "<html></html>");
    const QUrl installed = helpPageUrl(root.filePath("prefix/bin"));
    EXPECT_TRUE(installed.isLocalFile());
    EXPECT_EQ(installed.toLocalFile(),
              QFileInfo(root.filePath("prefix/share/lanternwick/help/index.html")).canonicalFilePath());
}

}  // namespace
}  // namespace lanternwick
