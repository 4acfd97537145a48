#include "app/ConnectionPill.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QPainter>

#include "app/Theme.h"

namespace lanternwick {
namespace {

QString stateText(LinkState state) {
    switch (state) {
    case LinkState::connected: return QStringLiteral("Connected to Eos");
    case LinkState::connecting: return QStringLiteral("Connecting\u2026");
    case LinkState::noAnswer: return QStringLiteral("No Answer");
    case LinkState::notConnected: break;
    }
    return QStringLiteral("Not Connected");
}

QString pillText(const LinkStatus& status) {
    QString text = stateText(status.state);
    if (status.heldLines > 0) {
        text += QStringLiteral(" \u00b7 ") + QString::number(status.heldLines) + QStringLiteral(" held");
    }
    return text;
}

QFont pillFont() {
    QFont font = theme::captionFont();
    font.setWeight(QFont::DemiBold);
    return font;
}

}  // namespace

ConnectionPill::ConnectionPill(QWidget* parent)
    : QWidget(parent), label_(new QLabel(this)), dot_(new QWidget(this)) {
    auto* row = new QHBoxLayout(this);
    row->setContentsMargins(10, 6, 10, 6);
    row->setSpacing(6);
    dot_->setFixedSize(8, 8);
    label_->setFont(pillFont());
    label_->setTextFormat(Qt::PlainText);
    // The label keeps at least the width of the longest state text so the
    // header does not shift when the connection comes and goes.
    label_->setMinimumWidth(QFontMetrics(label_->font()).horizontalAdvance(stateText(LinkState::connected)));
    QPalette palette = label_->palette();
    palette.setColor(QPalette::WindowText, theme::primaryText());
    label_->setPalette(palette);
    row->addWidget(dot_, 0, Qt::AlignVCenter);
    row->addWidget(label_, 0, Qt::AlignVCenter);
    setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
    setStatus({});
}

void ConnectionPill::setStatus(const LinkStatus& status) {
    status_ = status;
    label_->setText(pillText(status));
    setToolTip(QString::fromStdString(status.reason));
    update();
}

QString ConnectionPill::text() const { return label_->text(); }

QColor ConnectionPill::color() const {
    switch (status_.state) {
    case LinkState::connected: return theme::connectedGreen();
    case LinkState::connecting: return theme::connectingAmber();
    case LinkState::noAnswer:
    case LinkState::notConnected: break;
    }
    return theme::disconnectedRed();
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
