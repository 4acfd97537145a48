#include "app/ConnectionPill.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QPainter>

#include "app/Theme.h"

namespace lanternwick {
namespace {

QString pillText(bool connected) {
    return connected ? QStringLiteral("Connected to Eos") : QStringLiteral("Not Connected");
}

QFont pillFont() {
    QFont font = theme::captionFont();
    font.setWeight(QFont::DemiBold);
    return font;
}

}  // namespace

ConnectionPill::ConnectionPill(QWidget* parent)
    : QWidget(parent), label_(new QLabel(pillText(false), this)), dot_(new QWidget(this)) {
    auto* row = new QHBoxLayout(this);
    row->setContentsMargins(10, 6, 10, 6);
    row->setSpacing(6);
    dot_->setFixedSize(8, 8);
    label_->setFont(pillFont());
    // The label keeps the width of the longer text so the header does not
    // shift when the connection comes and goes.
    label_->setMinimumWidth(QFontMetrics(label_->font()).horizontalAdvance(pillText(true)));
    row->addWidget(dot_, 0, Qt::AlignVCenter);
    row->addWidget(label_, 0, Qt::AlignVCenter);
    setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
    setConnected(false);
}

void ConnectionPill::setConnected(bool connected) {
    connected_ = connected;
    label_->setText(pillText(connected));
    QPalette palette = label_->palette();
    palette.setColor(QPalette::WindowText, theme::primaryText());
    label_->setPalette(palette);
    update();
}

QString ConnectionPill::text() const { return label_->text(); }

QColor ConnectionPill::color() const {
    return connected_ ? theme::connectedGreen() : theme::disconnectedRed();
}

void ConnectionPill::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    const QColor tint = color();
    const QRectF capsule = QRectF(rect()).adjusted(0.5, 0.5, -0.5, -0.5);
    const qreal radius = capsule.height() / 2;
    painter.setPen(QPen(theme::withOpacity(tint, 0.5), 1));
    painter.setBrush(theme::withOpacity(tint, 0.16));
    painter.drawRoundedRect(capsule, radius, radius);

    painter.setPen(Qt::NoPen);
    painter.setBrush(tint);
    painter.drawEllipse(QRectF(dot_->geometry()));
}

}  // namespace lanternwick
