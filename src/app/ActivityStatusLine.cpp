#include "app/ActivityStatusLine.h"

#include <array>

#include <QPainter>

#include "app/ActivityModel.h"
#include "app/Theme.h"

namespace lanternwick {
namespace {

const QString separator = QStringLiteral(" \u00b7 ");

}  // namespace

ActivityStatusLine::ActivityStatusLine(QWidget* parent) : QAbstractButton(parent) {
    setCursor(Qt::PointingHandCursor);
    setFocusPolicy(Qt::TabFocus);
    setAttribute(Qt::WA_Hover);
    setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Fixed);
    setNote({});
}

void ActivityStatusLine::setNote(const QString& note) {
    const QString action = QStringLiteral("Show the activity (Ctrl+L)");
    setToolTip(note.isEmpty() ? action : action + u'\n' + note);
}

void ActivityStatusLine::setFullText(const QString& text) {
    if (text == fullText_) return;
    fullText_ = text;
    setText(text);
    setAccessibleName(text);
    update();
}

QSize ActivityStatusLine::sizeHint() const {
    return {fontMetrics().horizontalAdvance(fullText_), fontMetrics().height() + 2};
}

QSize ActivityStatusLine::minimumSizeHint() const { return {0, fontMetrics().height() + 2}; }

void ActivityStatusLine::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    const bool lit = underMouse() || hasFocus() || isDown();
    painter.setPen(lit ? theme::primaryText() : theme::secondaryText());
    painter.setFont(font());
    const QString shown = fontMetrics().elidedText(fullText_, Qt::ElideRight, width());
    painter.drawText(rect(), Qt::AlignLeft | Qt::AlignVCenter | Qt::TextSingleLine, shown);
}

QString activityStatusText(const std::vector<LightingChangeEvent>& events, const std::vector<SyncOutcome>& outcomes,
                           const LinkStatus& link) {
    QStringList parts;
    if (events.empty()) {
        parts << QStringLiteral("No file activity yet");
    } else {
        parts << activityClockText(events.front().timestamp)
              << QString::fromUtf8(displayName(events.front().kind).data(),
                                   static_cast<qsizetype>(displayName(events.front().kind).size()));
    }
    // sent, held, dropped, skipped
    std::array<int, 4> counts{};
    for (const SyncOutcome& outcome : outcomes) {
        if (!events.empty() && outcome.timestamp < events.front().timestamp) break;
        if (const auto* line = std::get_if<LineOutcome>(&outcome.detail)) {
            switch (line->fate) {
            case LineFate::sent: ++counts[0]; break;
            case LineFate::held:
            case LineFate::waiting: ++counts[1]; break;
            case LineFate::dropped: ++counts[2]; break;
            case LineFate::skipped: ++counts[3]; break;
            case LineFate::replaced: break;
            }
        }
        if (std::holds_alternative<SkippedCommand>(outcome.detail)) ++counts[3];
    }
    const std::array<const char*, 4> names{"sent", "held", "dropped", "skipped"};
    for (std::size_t i = 0; i < counts.size(); ++i) {
        if (counts[i] > 0) parts << QString::number(counts[i]) + u' ' + QString::fromLatin1(names[i]);
    }
    if ((link.state == LinkState::notConnected || link.state == LinkState::noAnswer) && !link.reason.empty()) {
        parts << QStringLiteral("not connected (") + QString::fromStdString(link.reason) + u')';
    }
    return parts.join(separator);
}

}  // namespace lanternwick
