// The two modal dialogs: the deletion question and the marker file chooser,
// each answered from inside its own loop.

#include "app/CueDeletionDialog.h"
#include "app/MarkerFileChooser.h"

#include <QCheckBox>
#include <QFileDialog>
#include <QMessageBox>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <gtest/gtest.h>

#include "app/QtTestSupport.h"
#include "common/MarkerFileText.h"

namespace lanternwick {
namespace {

// Runs `open`, which shows a modal Dialog and returns once it closes, and
// acts on the dialog from inside its loop. A watchdog closes a dialog nobody
// answered, so a fault fails the test instead of hanging it.
template <typename Dialog, typename Open>
auto answerModal(const Open& open, const std::function<void(Dialog&)>& act) {
    bool seen = false;
    QTimer::singleShot(0, [&] {
        auto* dialog = qobject_cast<Dialog*>(QApplication::activeModalWidget());
        ASSERT_NE(dialog, nullptr) << "no modal dialog is open";
        seen = true;
        act(*dialog);
    });
    QTimer watchdog;
    watchdog.setSingleShot(true);
    QObject::connect(&watchdog, &QTimer::timeout, [] {
        if (auto* dialog = qobject_cast<QDialog*>(QApplication::activeModalWidget())) {
            dialog->done(QDialog::Rejected);
        }
    });
    watchdog.start(5000);
    auto result = open();
    EXPECT_TRUE(seen);
    return result;
}

using Act = std::function<void(QMessageBox&)>;

void click(QMessageBox& box, const QString& text) {
    for (QAbstractButton* button : box.buttons()) {
        if (button->text() == text) {
            return button->click();
        }
    }
    ADD_FAILURE() << "no button " << text.toStdString();
}

// Each question is asked with the same texts, above every other window, with
// the box unticked; the answer is what the user did; Return and Escape mean No.
TEST(CueDeletionDialog, AsksAboveEveryOtherWindowAndAnswersWithTheButtonOrKeyAndTheCheckBox) {
    testing::ensureQtApplication();
    const struct {
        const char* name;
        Act act;
        CueDeletionAnswer expected;
    } cases[] = {
        {"No", [](QMessageBox& box) { click(box, "No"); }, {false, false}},
        {"Yes", [](QMessageBox& box) { click(box, "Yes"); }, {true, false}},
        {"ticked, Yes", [](QMessageBox& box) { box.checkBox()->setChecked(true); click(box, "Yes"); }, {true, true}},
        {"ticked, No", [](QMessageBox& box) { box.checkBox()->click(); click(box, "No"); }, {false, true}},
        {"Return", [](QMessageBox& box) { QTest::keyClick(&box, Qt::Key_Return); }, {false, false}},
        {"Escape", [](QMessageBox& box) { QTest::keyClick(&box, Qt::Key_Escape); }, {false, false}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        CueDeletionDialog dialog;
        const auto ask = [&] { return dialog.confirmCueDeletion(3, "12.5"); };
        const auto answer = answerModal<QMessageBox>(ask, [&](QMessageBox& box) {
            EXPECT_EQ(box.text(), "Delete Cue 3/12.5 from Eos?");
            EXPECT_EQ(box.informativeText(), "This will send a delete command to Eos.");
            EXPECT_EQ(box.icon(), QMessageBox::Warning);
            EXPECT_EQ(box.windowModality(), Qt::ApplicationModal);
            EXPECT_TRUE(box.windowFlags().testFlag(Qt::WindowStaysOnTopHint));
            ASSERT_TRUE(box.checkBox());
            EXPECT_EQ(box.checkBox()->text(), "Do not ask again in this session");
            EXPECT_FALSE(box.checkBox()->isChecked());
            ASSERT_TRUE(box.defaultButton());
            EXPECT_EQ(box.defaultButton()->text(), "No");
            c.act(box);
        });
        EXPECT_EQ(answer, c.expected);
    }
}

TEST(MarkerFileChooser, OffersOneExistingXMLFileAndReturnsTheConfirmedOne) {
    testing::ensureQtApplication();
    const testing::ScratchFolder scratch;
    const auto file = scratch.write("Lighting.xml", testing::markerFileText({}));
    DialogMarkerFileChooser chooser;
    const auto choose = [&] { return chooser.chooseMarkerFile(nullptr); };

    const auto cancelled = answerModal<QFileDialog>(choose, [](QFileDialog& dialog) {
        EXPECT_EQ(dialog.windowTitle(), "Select Tempolane File");
        EXPECT_EQ(dialog.labelText(QFileDialog::Accept), "Select");
        EXPECT_EQ(dialog.fileMode(), QFileDialog::ExistingFile);
        EXPECT_EQ(dialog.nameFilters().size(), 1);
        EXPECT_TRUE(dialog.nameFilters().value(0).contains("*.xml")) << dialog.nameFilters().value(0).toStdString();
        dialog.reject();
    });
    EXPECT_EQ(cancelled, std::nullopt);

    const auto chosen = answerModal<QFileDialog>(choose, [&](QFileDialog& dialog) {
        dialog.selectFile(QString::fromStdString(file.string()));
        static_cast<QDialog&>(dialog).accept();
    });
    ASSERT_TRUE(chosen.has_value());
    EXPECT_EQ(std::filesystem::canonical(*chosen), std::filesystem::canonical(file));
}

}  // namespace
}  // namespace lanternwick
