#include "app/ActivityStatusLine.h"

#include <algorithm>
#include <map>
#include <string>
#include <string_view>
#include <utility>

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
    QString connection = QString::fromStdString(linkStatusText(link));
    if (!connection.isEmpty()) connection[0] = connection[0].toUpper();
    if (events.empty()) return connection + separator + QStringLiteral("No file activity yet");

    const LightingChangeEvent& last = events.front();
    // Oldest first from the event on, so that "before the next connection
    // change" and "newest fate" read in the order things happened.
    std::vector<const SyncOutcome*> since;
    for (const SyncOutcome& outcome : outcomes) {
        if (outcome.timestamp < last.timestamp) break;
        since.push_back(&outcome);
    }
    std::reverse(since.begin(), since.end());

    std::vector<const LineOutcome*> ownLines;
    int skipped = 0;
    for (const SyncOutcome* outcome : since) {
        if (std::holds_alternative<ConnectionChange>(outcome->detail)) break;
        if (const auto* line = std::get_if<LineOutcome>(&outcome->detail)) ownLines.push_back(line);
        if (std::holds_alternative<SkippedCommand>(outcome->detail)) ++skipped;
    }
    // Views into the outcomes, which outlive this call: no text is copied per line.
    std::map<std::pair<std::string_view, std::string_view>, LineFate> newestFate;
    for (const SyncOutcome* outcome : since) {
        if (const auto* line = std::get_if<LineOutcome>(&outcome->detail)) {
            newestFate[{std::string_view(line->address), std::string_view(line->text)}] = line->fate;
        }
    }
    // Keyed by the fate's order, so the counts read the same way every time
    // whatever fates there are.
    std::map<int, std::pair<LineFate, int>> byFate;
    for (const LineOutcome* line : ownLines) {
        const LineFate fate = newestFate.at({std::string_view(line->address), std::string_view(line->text)});
        // A line too large to send is one more skipped command, not a fate of its own.
        if (fate == LineFate::skipped) {
            ++skipped;
            continue;
        }
        auto& entry = byFate[static_cast<int>(fate)];
        entry = {fate, entry.second + 1};
    }
    QStringList counts;
    for (const auto& [order, entry] : byFate) {
        const std::string_view name = displayName(entry.first);
        counts << QString::number(entry.second) + u' ' +
                      QString::fromUtf8(name.data(), static_cast<qsizetype>(name.size()));
    }
    if (skipped > 0) counts << QString::number(skipped) + QStringLiteral(" skipped");

    const std::string_view kind = displayName(last.kind);
    QString change = QString::fromUtf8(kind.data(), static_cast<qsizetype>(kind.size())) + u' ' +
                     activityClockText(last.timestamp);
    if (!counts.isEmpty()) change += QStringLiteral(": ") + counts.join(QStringLiteral(", "));
    return connection + separator + change;
}

}  // namespace lanternwick
