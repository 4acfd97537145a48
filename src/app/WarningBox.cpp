#include "app/WarningBox.h"

#include <QLabel>
#include <QPainter>
#include <QVBoxLayout>

#include "app/Theme.h"

namespace lanternwick {

WarningBox::WarningBox(const QString& text, QWidget* parent) : QWidget(parent), label_(new QLabel(text, this)) {
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
}

QString WarningBox::text() const { return label_->text(); }

void WarningBox::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    const QRectF shape = QRectF(rect()).adjusted(0.6, 0.6, -0.6, -0.6);
    painter.setPen(QPen(theme::withOpacity(theme::warningRed(), 0.6), 1.2));
    painter.setBrush(theme::withOpacity(theme::warningRed(), 0.13));
    painter.drawRoundedRect(shape, 9, 9);
}

}  // namespace lanternwick
