#include "app/SectionCard.h"

#include <QLabel>
#include <QPainter>
#include <QVBoxLayout>

#include "app/Theme.h"

namespace lanternwick {

SectionCard::SectionCard(const QString& title, QWidget* parent) : QFrame(parent), content_(new QVBoxLayout) {
    setObjectName(title);
    auto* column = new QVBoxLayout(this);
    column->setContentsMargins(11, 11, 11, 11);
    column->setSpacing(8);

    auto* heading = new QLabel(title, this);
    heading->setFont(theme::headlineFont());
    // Set, not inherited: under a style sheet Qt hands unstyled labels the
    // application's palette, which may be a light one.
    QPalette palette = heading->palette();
    palette.setColor(QPalette::WindowText, theme::primaryText());
    heading->setPalette(palette);
    heading->setObjectName(QStringLiteral("sectionTitle"));
    column->addWidget(heading, 0, Qt::AlignLeft);

    content_->setContentsMargins(0, 0, 0, 0);
    content_->setSpacing(8);
    column->addLayout(content_);
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Maximum);
}

void SectionCard::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    const QRectF shape = QRectF(rect()).adjusted(0.5, 0.5, -0.5, -0.5);
    painter.setPen(QPen(theme::withOpacity(theme::primaryText(), 0.1), 1));
    painter.setBrush(theme::withOpacity(theme::textBackground(), 0.75));
    painter.drawRoundedRect(shape, 12, 12);
}

}  // namespace lanternwick
