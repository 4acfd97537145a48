#include "app/CueDeletionDialog.h"

#include <QApplication>
#include <QCheckBox>
#include <QMessageBox>
#include <QPushButton>

namespace lanternwick {
namespace {

QString qtText(std::string_view text) {
    return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

}  // namespace

CueDeletionAnswer CueDeletionDialog::confirmCueDeletion(std::int64_t list, std::string_view cueNumber) {
    QMessageBox box(parentWindow_.data());
    box.setObjectName(QStringLiteral("cueDeletionQuestion"));
    box.setIcon(QMessageBox::Warning);
    box.setWindowTitle(QApplication::applicationDisplayName());
    box.setText(qtText(cueDeletionMessageText(list, cueNumber)));
    box.setInformativeText(qtText(cueDeletionInformativeText));
    box.setTextFormat(Qt::PlainText);

    auto* doNotAskAgain = new QCheckBox(qtText(cueDeletionSuppressionTitle), &box);
    doNotAskAgain->setChecked(false);
    box.setCheckBox(doNotAskAgain);

    QPushButton* yes = box.addButton(qtText(cueDeletionYesButton), QMessageBox::YesRole);
    QPushButton* no = box.addButton(qtText(cueDeletionNoButton), QMessageBox::NoRole);
    // Enter must never destroy show data by reflex, so it answers No.
    box.setDefaultButton(no);
    box.setEscapeButton(no);

    box.setWindowModality(Qt::ApplicationModal);
    // The question usually arrives while the user is saving in the timeline
    // application; stay on top of it instead of waiting behind it.
    box.setWindowFlag(Qt::WindowStaysOnTopHint, true);
    box.show();
    box.raise();
    box.activateWindow();
    QApplication::alert(&box);
    box.exec();

    return {.confirmed = box.clickedButton() == yes, .doNotAskAgain = doNotAskAgain->isChecked()};
}

}  // namespace lanternwick
