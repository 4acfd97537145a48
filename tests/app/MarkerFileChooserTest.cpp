#include "app/MarkerFileChooser.h"

#include <functional>

#include <QApplication>
#include <QFileDialog>
#include <QTimer>
#include <gtest/gtest.h>

#include "app/QtTestSupport.h"

namespace lanternwick {
namespace {

// Runs the chooser and acts on its dialog from inside the modal loop; a
// watchdog rejects a dialog nobody answered so a fault cannot hang the run.
std::optional<std::string> chooseAnd(const std::function<void(QFileDialog&)>& act) {
    DialogMarkerFileChooser chooser;
    bool seen = false;
    QTimer::singleShot(0, [&] {
        auto* dialog = qobject_cast<QFileDialog*>(QApplication::activeModalWidget());
        if (dialog == nullptr) {
            ADD_FAILURE() << "no file dialog is open";
            return;
        }
        seen = true;
        act(*dialog);
    });
    QTimer watchdog;
    watchdog.setSingleShot(true);
    QObject::connect(&watchdog, &QTimer::timeout, [] {
        if (auto* dialog = qobject_cast<QFileDialog*>(QApplication::activeModalWidget())) {
            dialog->reject();
        }
    });
    watchdog.start(5000);
    auto chosen = chooser.chooseMarkerFile(nullptr);
    EXPECT_TRUE(seen);
    return chosen;
}

class MarkerFileChooserTest : public ::testing::Test {
protected:
    void SetUp() override { testing::ensureQtApplication(); }

    testing::ScratchFolder scratch;
};

TEST_F(MarkerFileChooserTest, OffersOneExistingXMLFileUnderItsOwnTitle) {
    QString title;
    QString acceptLabel;
    QFileDialog::FileMode mode = QFileDialog::Directory;
    QStringList filters;
    const auto chosen = chooseAnd([&](QFileDialog& dialog) {
        title = dialog.windowTitle();
        acceptLabel = dialog.labelText(QFileDialog::Accept);
        mode = dialog.fileMode();
        filters = dialog.nameFilters();
        dialog.reject();
    });
    EXPECT_EQ(chosen, std::nullopt);
    EXPECT_EQ(title, "Select Tempolane File");
    EXPECT_EQ(acceptLabel, "Select");
    EXPECT_EQ(mode, QFileDialog::ExistingFile);
    ASSERT_EQ(filters.size(), 1);
    EXPECT_TRUE(filters.front().contains("*.xml")) << filters.front().toStdString();
}

TEST_F(MarkerFileChooserTest, ReturnsTheConfirmedFile) {
    const auto file = scratch.write("Lighting.xml", testing::emptyMarkerFile);
    const auto chosen = chooseAnd([&](QFileDialog& dialog) {
        dialog.selectFile(QString::fromStdString(file.string()));
        static_cast<QDialog&>(dialog).accept();
    });
    ASSERT_TRUE(chosen.has_value());
    EXPECT_EQ(std::filesystem::canonical(*chosen), std::filesystem::canonical(file));
}

}  // namespace
}  // namespace lanternwick
