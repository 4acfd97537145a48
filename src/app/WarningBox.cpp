#include "app/WarningBox.h"

#include <QLabel>
#include <QPainter>
#include <QTextDocument>
#include <QVBoxLayout>

#include "app/Theme.h"

namespace lanternwick {

WarningBox::WarningBox(const QString& text, QWidget* parent) : QWidget(parent), label_(new QLabel(this)) {
    auto* column = new QVBoxLayout(this);
    column->setContentsMargins(10, 10, 10, 10);
    QFont font = theme::calloutFont();
    font.setWeight(QFont::Bold);
    label_->setFont(font);
    label_->setWordWrap(true);
    label_->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    QPalette palette = label_->palette();
    palette.setColor(QPalette::WindowText, theme::warningRed());
    label_->setPalette(palette);
    column->addWidget(label_);
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Minimum);
    setPlainText(text);
    connect(label_, &QLabel::linkActivated, this, &WarningBox::linkActivated);
}

QString WarningBox::text() const {
    if (label_->textFormat() != Qt::RichText) return label_->text();
    QTextDocument document;
    document.setHtml(label_->text());
    return document.toPlainText();
}

void WarningBox::setPlainText(const QString& text) {
    label_->setTextFormat(Qt::PlainText);
    label_->setText(text);
}

void WarningBox::setRichText(const QString& html) {
    label_->setTextFormat(Qt::RichText);
    label_->setOpenExternalLinks(false);
    label_->setTextInteractionFlags(Qt::LinksAccessibleByMouse | Qt::LinksAccessibleByKeyboard);
    label_->setText(html);
}

void WarningBox::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    const QRectF shape = QRectF(rect()).adjusted(0.6, 0.6, -0.6, -0.6);
    painter.setPen(QPen(theme::withOpacity(theme::warningRed(), 0.6), 1.2));
    painter.setBrush(theme::withOpacity(theme::warningRed(), 0.13));
    painter.drawRoundedRect(shape, 9, 9);
}

}  // namespace lanternwick
