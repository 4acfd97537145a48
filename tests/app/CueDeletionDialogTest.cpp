#include "app/CueDeletionDialog.h"

#include <functional>

#include <QApplication>
#include <QCheckBox>
#include <QMessageBox>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <gtest/gtest.h>

#include "app/QtTestSupport.h"

namespace lanternwick {
namespace {

struct SeenQuestion {
    QString text;
    QString informativeText;
    QString checkBoxText;
    bool checkBoxInitiallyTicked = true;
    QStringList buttons;
    QString defaultButton;
    QMessageBox::Icon icon = QMessageBox::NoIcon;
    Qt::WindowModality modality = Qt::NonModal;
    bool staysOnTop = false;
};

QPushButton* buttonNamed(QMessageBox& box, const QString& text) {
    for (QAbstractButton* button : box.buttons()) {
        if (button->text() == text) {
            return qobject_cast<QPushButton*>(button);
        }
    }
    return nullptr;
}

// Asks the question and answers it from inside its modal loop with `answer`.
// A watchdog closes a question that nobody answered, so a fault fails the
// test instead of hanging it.
CueDeletionAnswer askAndAnswer(std::int64_t list, std::string_view cue,
                               const std::function<void(QMessageBox&)>& answer, SeenQuestion* seen = nullptr) {
    CueDeletionDialog dialog;
    bool answered = false;
    QTimer::singleShot(0, [&] {
        auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        if (box == nullptr) {
            ADD_FAILURE() << "no modal question is open";
            return;
        }
        if (seen != nullptr) {
            seen->text = box->text();
            seen->informativeText = box->informativeText();
            seen->checkBoxText = box->checkBox() ? box->checkBox()->text() : QString();
            seen->checkBoxInitiallyTicked = box->checkBox() && box->checkBox()->isChecked();
            for (QAbstractButton* button : box->buttons()) {
                seen->buttons << button->text();
            }
            seen->defaultButton = box->defaultButton() ? box->defaultButton()->text() : QString();
            seen->icon = box->icon();
            seen->modality = box->windowModality();
            seen->staysOnTop = box->windowFlags().testFlag(Qt::WindowStaysOnTopHint);
        }
        answered = true;
        answer(*box);
    });
    QTimer watchdog;
    watchdog.setSingleShot(true);
    QObject::connect(&watchdog, &QTimer::timeout, [] {
        if (auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget())) {
            box->done(-1);
        }
    });
    watchdog.start(5000);
    const CueDeletionAnswer result = dialog.confirmCueDeletion(list, cue);
    EXPECT_TRUE(answered);
    return result;
}

class CueDeletionDialogTest : public ::testing::Test {
protected:
    void SetUp() override { testing::ensureQtApplication(); }
};

TEST_F(CueDeletionDialogTest, AsksWithTheTextsButtonsAndCheckBox) {
    SeenQuestion seen;
    askAndAnswer(3, "12.5", [](QMessageBox& box) { buttonNamed(box, "No")->click(); }, &seen);
    EXPECT_EQ(seen.text, "Delete Cue 3/12.5 from Eos?");
    EXPECT_EQ(seen.informativeText, "This will send a delete command to Eos.");
    EXPECT_EQ(seen.checkBoxText, "Do not ask again in this session");
    EXPECT_FALSE(seen.checkBoxInitiallyTicked);
    EXPECT_EQ(seen.buttons.size(), 2);
    EXPECT_TRUE(seen.buttons.contains("Yes"));
    EXPECT_TRUE(seen.buttons.contains("No"));
    EXPECT_EQ(seen.defaultButton, "Yes");
    EXPECT_EQ(seen.icon, QMessageBox::Warning);
    EXPECT_EQ(seen.modality, Qt::ApplicationModal);
    EXPECT_TRUE(seen.staysOnTop);
}

TEST_F(CueDeletionDialogTest, ReportsBothAnswersWhateverTheButton) {
    EXPECT_EQ(askAndAnswer(1, "5", [](QMessageBox& box) { buttonNamed(box, "Yes")->click(); }),
              (CueDeletionAnswer{.confirmed = true, .doNotAskAgain = false}));
    EXPECT_EQ(askAndAnswer(1, "5",
                           [](QMessageBox& box) {
                               box.checkBox()->setChecked(true);
                               buttonNamed(box, "Yes")->click();
                           }),
              (CueDeletionAnswer{.confirmed = true, .doNotAskAgain = true}));
    EXPECT_EQ(askAndAnswer(1, "5",
                           [](QMessageBox& box) {
                               box.checkBox()->click();
                               buttonNamed(box, "No")->click();
                           }),
              (CueDeletionAnswer{.confirmed = false, .doNotAskAgain = true}));
    EXPECT_EQ(askAndAnswer(1, "5", [](QMessageBox& box) { buttonNamed(box, "No")->click(); }),
              (CueDeletionAnswer{.confirmed = false, .doNotAskAgain = false}));
}

TEST_F(CueDeletionDialogTest, ReturnConfirmsAndEscapeDeclines) {
    EXPECT_TRUE(askAndAnswer(2, "1", [](QMessageBox& box) { QTest::keyClick(&box, Qt::Key_Return); }).confirmed);
    const auto escaped = askAndAnswer(2, "1", [](QMessageBox& box) { QTest::keyClick(&box, Qt::Key_Escape); });
    EXPECT_FALSE(escaped.confirmed);
    EXPECT_FALSE(escaped.doNotAskAgain);
}

}  // namespace
}  // namespace lanternwick
