#include "app/MiddleElidedLabel.h"

#include <QClipboard>
#include <QContextMenuEvent>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QMenu>

namespace lanternwick {

MiddleElidedLabel::MiddleElidedLabel(QWidget* parent) : QLabel(parent) {
    setTextFormat(Qt::PlainText);
    setTextInteractionFlags(Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard);
    setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
    setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
}

void MiddleElidedLabel::setFullText(const QString& text) {
    fullText_ = text;
    setToolTip(text);
    updateElision();
}

QSize MiddleElidedLabel::minimumSizeHint() const { return {0, QLabel::minimumSizeHint().height()}; }

QSize MiddleElidedLabel::sizeHint() const {
    return {fontMetrics().horizontalAdvance(fullText_), QLabel::sizeHint().height()};
}

void MiddleElidedLabel::resizeEvent(QResizeEvent* event) {
    QLabel::resizeEvent(event);
    updateElision();
}

void MiddleElidedLabel::updateElision() {
    const QString shown = fontMetrics().elidedText(fullText_, Qt::ElideMiddle, std::max(0, contentsRect().width()));
    if (shown != text()) {
        setText(shown);
    }
}

void MiddleElidedLabel::keyPressEvent(QKeyEvent* event) {
    if (event->matches(QKeySequence::Copy) && hasSelectedText()) {
        QGuiApplication::clipboard()->setText(selectedText() == text() ? fullText_ : selectedText());
        event->accept();
        return;
    }
    QLabel::keyPressEvent(event);
}

void MiddleElidedLabel::contextMenuEvent(QContextMenuEvent* event) {
    QMenu menu(this);
    menu.addAction(tr("Copy"), this, [this] { QGuiApplication::clipboard()->setText(fullText_); });
    menu.exec(event->globalPos());
}

}  // namespace lanternwick
