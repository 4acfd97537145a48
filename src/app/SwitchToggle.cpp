#include "app/SwitchToggle.h"

#include <QPainter>
#include <QPainterPath>

#include "app/Theme.h"

namespace lanternwick {
namespace {

constexpr int trackWidth = 30;
constexpr int trackHeight = 17;
constexpr int knobInset = 2;
constexpr int captionGap = 8;

}  // namespace

SwitchToggle::SwitchToggle(const QString& caption, QWidget* parent) : QCheckBox(caption, parent) {
    setFont(theme::bodyFont());
    setCursor(Qt::PointingHandCursor);
    setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
}

QSize SwitchToggle::sizeHint() const {
    const QFontMetrics metrics(font());
    const int textWidth = metrics.horizontalAdvance(text());
    return {textWidth + captionGap + trackWidth, std::max(trackHeight, metrics.height()) + 2};
}

QSize SwitchToggle::minimumSizeHint() const { return sizeHint(); }

QRect SwitchToggle::trackRect() const {
    const QFontMetrics metrics(font());
    const int left = metrics.horizontalAdvance(text()) + captionGap;
    return {left, (height() - trackHeight) / 2, trackWidth, trackHeight};
}

bool SwitchToggle::hitButton(const QPoint& position) const { return rect().contains(position); }

void SwitchToggle::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);

    painter.setPen(isEnabled() ? theme::primaryText() : theme::secondaryText());
    painter.setFont(font());
    const QRect track = trackRect();
    painter.drawText(QRect(0, 0, track.left() - captionGap, height()), Qt::AlignLeft | Qt::AlignVCenter, text());

    const QRectF trackF = QRectF(track).adjusted(0.5, 0.5, -0.5, -0.5);
    const qreal radius = trackF.height() / 2;
    painter.setPen(QPen(theme::withOpacity(Qt::white, 0.18), 1));
    painter.setBrush(isChecked() ? theme::accent() : theme::withOpacity(Qt::white, 0.14));
    painter.drawRoundedRect(trackF, radius, radius);

    const qreal knobDiameter = trackF.height() - 2 * knobInset;
    const qreal knobLeft = isChecked() ? trackF.right() - knobInset - knobDiameter : trackF.left() + knobInset;
    painter.setPen(Qt::NoPen);
    painter.setBrush(QColor(236, 236, 236));
    painter.drawEllipse(QRectF(knobLeft, trackF.top() + knobInset, knobDiameter, knobDiameter));

    if (hasFocus()) {
        painter.setPen(QPen(theme::withOpacity(theme::accent(), 0.6), 2));
        painter.setBrush(Qt::NoBrush);
        painter.drawRoundedRect(trackF.adjusted(-1.5, -1.5, 1.5, 1.5), radius + 1.5, radius + 1.5);
    }
}

}  // namespace lanternwick
