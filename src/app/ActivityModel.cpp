#include "app/ActivityModel.h"

#include <algorithm>

#include <QDateTime>

#include "app/Theme.h"
#include "eos/CueDeletionPrompt.h"
#include "eos/CueReply.h"
#include "monitor/NewerEntries.h"
#include "support/TextRules.h"

namespace lanternwick {
namespace {

QString qtText(std::string_view text) {
    return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

// A summary stays on its row: line ends and other control characters from
// the file or the console become blanks.
QString oneLine(QString text) {
    for (QChar& c : text) {
        if (c.category() == QChar::Other_Control || c == QChar::LineSeparator || c == QChar::ParagraphSeparator) {
            c = u' ';
        }
    }
    return text;
}

QString cueText(std::int64_t list, std::string_view cue) {
    return QString::number(list) + u'/' + qtText(displayValue(cue));
}

QString where(const ConnectionChange& change) {
    return qtText(change.host) + u':' + QString::number(change.port);
}

QString withReason(QString text, std::string_view reason) {
    return reason.empty() ? text : text + QStringLiteral(" (") + qtText(reason) + u')';
}

QString detailLines(std::initializer_list<std::pair<const char*, QString>> lines) {
    QStringList text;
    for (const auto& [label, value] : lines) {
        if (!value.isEmpty()) text << QString::fromLatin1(label) + QStringLiteral(": ") + value;
    }
    return text.join(u'\n');
}

// Only the fate line itself: the command line above it may hold the same words.
void markFateConfirmed(QString& details) {
    static const QString sent = QStringLiteral("\nFate: sent");
    qsizetype at = 0;
    while ((at = details.indexOf(sent, at)) >= 0) {
        const qsizetype end = at + sent.size();
        if (end == details.size() || details[end] == u'\n') {
            details.replace(at, sent.size(), QStringLiteral("\nFate: confirmed"));
            return;
        }
        at = end;
    }
}

struct OutcomeEntry {
    ActivityEntry& entry;

    void operator()(const LineOutcome& line) const {
        entry.category = ActivityEntry::Category::line;
        // Sent is not yet delivered: it turns green once the console confirms it.
        switch (line.fate) {
        case LineFate::sent: entry.kind = QStringLiteral("Sent"), entry.tone = ActivityEntry::Tone::plain; break;
        case LineFate::held: entry.kind = QStringLiteral("Held"), entry.tone = ActivityEntry::Tone::pending; break;
        case LineFate::waiting: entry.kind = QStringLiteral("Waiting"), entry.tone = ActivityEntry::Tone::pending; break;
        case LineFate::replaced: entry.kind = QStringLiteral("Replaced"), entry.tone = ActivityEntry::Tone::muted; break;
        case LineFate::dropped: entry.kind = QStringLiteral("Dropped"), entry.tone = ActivityEntry::Tone::bad; break;
        case LineFate::skipped: entry.kind = QStringLiteral("Skipped"), entry.tone = ActivityEntry::Tone::bad; break;
        }
        entry.summary = withReason(qtText(line.text.empty() ? line.address : line.text), line.reason);
        entry.details = detailLines({{"Address", qtText(line.address)},
                                     {"Command line", qtText(line.text)},
                                     {"Fate", qtText(displayName(line.fate))},
                                     {"Reason", qtText(line.reason)}});
    }
    void operator()(const SkippedCommand& skipped) const {
        entry.category = ActivityEntry::Category::skipped;
        entry.kind = QStringLiteral("Skipped");
        entry.tone = ActivityEntry::Tone::pending;
        entry.summary = QStringLiteral("cue ") + cueText(skipped.list, skipped.cue) + u' ' + qtText(skipped.what) +
                        QStringLiteral(": ") + qtText(skipped.reason);
        entry.details = detailLines({{"Cue", cueText(skipped.list, skipped.cue)},
                                     {"Command", qtText(skipped.what)},
                                     {"Reason", qtText(skipped.reason)}});
    }
    void operator()(const ConnectionChange& change) const {
        entry.category = ActivityEntry::Category::connection;
        entry.kind = QStringLiteral("Connection");
        switch (change.status.state) {
        case LinkState::connecting:
            entry.summary = QStringLiteral("connecting to ") + where(change);
            entry.tone = ActivityEntry::Tone::pending;
            break;
        case LinkState::connected:
            entry.summary = QStringLiteral("connected to ") + where(change);
            entry.tone = ActivityEntry::Tone::good;
            break;
        case LinkState::notConnected:
            entry.summary = withReason(QStringLiteral("not connected to ") + where(change), change.status.reason);
            entry.tone = ActivityEntry::Tone::bad;
            break;
        case LinkState::noAnswer:
            entry.summary = qtText(change.status.reason);
            entry.tone = ActivityEntry::Tone::bad;
            break;
        }
        if (change.status.heldLines > 0) {
            entry.summary += QStringLiteral(" \u00b7 ") + QString::number(change.status.heldLines) + QStringLiteral(" held");
        }
        entry.details = detailLines({{"Console", where(change)},
                                     {"State", qtText(displayName(change.status.state))},
                                     {"Reason", qtText(change.status.reason)},
                                     {"Lines held", QString::number(change.status.heldLines)}});
    }
    void operator()(const ReceivedReply& reply) const {
        entry.category = ActivityEntry::Category::received;
        entry.kind = QStringLiteral("Reply");
        const auto summary = cueReplySummary(reply);
        entry.summary = summary ? qtText(*summary) : qtText(reply.address) + u' ' + qtText(reply.valuesText);
        const auto optional = [](const auto& value, auto text) { return value ? text(*value) : QString(); };
        entry.details = detailLines(
            {{"Address", qtText(reply.address)},
             {"Cue", reply.list && reply.cue ? cueText(*reply.list, *reply.cue) : QString()},
             {"Part", optional(reply.part, [](std::int64_t part) { return QString::number(part); })},
             {"Label", optional(reply.label, [](const std::string& label) { return qtText(displayValue(label)); })},
             {"Up time", optional(reply.upTimeMs, [](std::int64_t ms) { return qtText(secondsText(ms)); })},
             {"Timecode", optional(reply.timecode, [](const std::string& tc) { return qtText(displayValue(tc)); })},
             {"Missing values", reply.missingValues > 0 ? QString::number(reply.missingValues) : QString()},
             {"Values", qtText(reply.valuesText)}});
    }
    void operator()(const DeliveryConfirmed& confirmed) const {
        entry.category = ActivityEntry::Category::confirmed;
        entry.kind = QStringLiteral("Confirmed");
        entry.tone = ActivityEntry::Tone::good;
        entry.summary = QString::number(confirmed.lines) + (confirmed.lines == 1 ? QStringLiteral(" line") : QStringLiteral(" lines")) +
                        QStringLiteral(" confirmed (") + QString::number(confirmed.latencyMs) + QStringLiteral(" ms)");
        entry.details = detailLines({{"Lines confirmed", QString::number(confirmed.lines)},
                                     {"Round trip", QString::number(confirmed.latencyMs) + QStringLiteral(" ms")}});
    }
    void operator()(const DeletionQuestion& question) const {
        entry.category = ActivityEntry::Category::question;
        entry.kind = QStringLiteral("Question");
        const QString answer = question.confirmed ? QStringLiteral("Yes") : QStringLiteral("No");
        entry.summary = qtText(cueDeletionMessageText(question.list, question.cue)) + u' ' + answer +
                        (question.doNotAskAgain ? QStringLiteral(", do not ask again") : QString());
        entry.details = detailLines({{"Cue", cueText(question.list, question.cue)},
                                     {"Answer", answer},
                                     {"Do not ask again", question.doNotAskAgain ? QStringLiteral("yes")
                                                                                 : QStringLiteral("no")}});
    }
};

QDateTime localDateTime(std::chrono::system_clock::time_point time) {
    const auto milliseconds = std::chrono::duration_cast<std::chrono::milliseconds>(time.time_since_epoch());
    return QDateTime::fromMSecsSinceEpoch(milliseconds.count());
}

}  // namespace

ActivityEntry activityEntry(const LightingChangeEvent& event) {
    const bool problem = event.kind == LightingChangeEvent::Kind::deleted ||
                         event.kind == LightingChangeEvent::Kind::unreadable;
    return {.id = event.id,
            .timestamp = event.timestamp,
            .category = ActivityEntry::Category::event,
            .tone = problem ? ActivityEntry::Tone::bad : ActivityEntry::Tone::plain,
            .kind = qtText(displayName(event.kind)),
            .summary = qtText(event.summary),
            .details = qtText(event.details)};
}

ActivityEntry activityEntry(const SyncOutcome& outcome) {
    ActivityEntry entry{.id = outcome.id, .timestamp = outcome.timestamp};
    std::visit(OutcomeEntry{entry}, outcome.detail);
    return entry;
}

QString activityClockText(std::chrono::system_clock::time_point time) {
    return localDateTime(time).toString(QStringLiteral("HH:mm:ss"));
}

QString activityFullTimeText(std::chrono::system_clock::time_point time) {
    return localDateTime(time).toString(QStringLiteral("yyyy-MM-dd HH:mm:ss.zzz"));
}

QColor toneColor(ActivityEntry::Tone tone) {
    switch (tone) {
    case ActivityEntry::Tone::good: return theme::connectedGreen();
    case ActivityEntry::Tone::pending: return theme::connectingAmber();
    case ActivityEntry::Tone::bad: return theme::disconnectedRed();
    case ActivityEntry::Tone::muted: return theme::secondaryText();
    case ActivityEntry::Tone::plain: break;
    }
    return theme::primaryText();
}

ActivityModel::ActivityModel(std::shared_ptr<LightingFileMonitor> monitor, QObject* parent)
    : QAbstractTableModel(parent), monitor_(std::move(monitor)) {
    for (const LightingChangeEvent& event : monitor_->events()) entries_.push_back(activityEntry(event));
    for (const SyncOutcome& outcome : monitor_->outcomes()) entries_.push_back(activityEntry(outcome));
    std::stable_sort(entries_.begin(), entries_.end(),
                     [](const ActivityEntry& a, const ActivityEntry& b) { return a.timestamp > b.timestamp; });
    for (auto outcome = monitor_->outcomes().rbegin(); outcome != monitor_->outcomes().rend(); ++outcome) {
        markConfirmed(*outcome);
    }
    if (!monitor_->events().empty()) lastEvent_ = monitor_->events().front().id;
    if (!monitor_->outcomes().empty()) lastOutcome_ = monitor_->outcomes().front().id;
    outcomeRows_ = monitor_->outcomes().size();
    eventRows_ = monitor_->events().size();
    observerId_ = monitor_->addObserver([this](MonitorField field) { monitorChanged(field); });
}

ActivityModel::~ActivityModel() { monitor_->removeObserver(observerId_); }

int ActivityModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : static_cast<int>(entries_.size());
}

int ActivityModel::columnCount(const QModelIndex& parent) const { return parent.isValid() ? 0 : columnTotal; }

QVariant ActivityModel::data(const QModelIndex& index, int role) const {
    if (!index.isValid() || index.row() >= rowCount()) return {};
    const ActivityEntry& row = entry(index.row());
    switch (role) {
    case Qt::DisplayRole:
        switch (index.column()) {
        case timeColumn: return activityClockText(row.timestamp);
        case kindColumn: return row.kind;
        case summaryColumn: return oneLine(row.summary);
        default: return {};
        }
    case Qt::ForegroundRole:
        if (index.column() == kindColumn && row.tone != ActivityEntry::Tone::plain) return toneColor(row.tone);
        if (index.column() == timeColumn) return theme::secondaryText();
        return {};
    case Qt::ToolTipRole:
        return index.column() == timeColumn ? activityFullTimeText(row.timestamp) : QVariant(row.summary);
    case detailsRole: return row.details;
    case fullTimeRole: return activityFullTimeText(row.timestamp);
    case searchTextRole: return row.kind + u'\n' + row.summary + u'\n' + row.details;
    default: return {};
    }
}

QVariant ActivityModel::headerData(int section, Qt::Orientation orientation, int role) const {
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole) return {};
    switch (section) {
    case timeColumn: return QStringLiteral("Time");
    case kindColumn: return QStringLiteral("Kind");
    case summaryColumn: return QStringLiteral("What");
    default: return {};
    }
}

QString ActivityModel::rowsAsText(const std::vector<int>& rows) const {
    QString text;
    for (const int row : rows) {
        const ActivityEntry& e = entry(row);
        text += activityFullTimeText(e.timestamp) + u'\t' + e.kind + u'\t' + oneLine(e.summary) + u'\n';
        if (e.details.isEmpty()) continue;
        for (const QString& line : e.details.split(u'\n')) text += QStringLiteral("    ") + line + u'\n';
    }
    return text;
}

QString ActivityModel::fileWatchNote() const { return QString::fromStdString(monitor_->fileWatchNote()); }

void ActivityModel::monitorChanged(MonitorField field) {
    if (field == MonitorField::events) takeNewEvents();
    if (field == MonitorField::outcomes) takeNewOutcomes();
    if (field == MonitorField::fileWatchNote) emit fileWatchNoteChanged(fileWatchNote());
}

void ActivityModel::takeNewEvents() {
    for (const LightingChangeEvent* event : newerThan(monitor_->events(), lastEvent_)) {
        insert(activityEntry(*event));
        lastEvent_ = event->id;
        ++eventRows_;
    }
    forgetDropped(true);
}

void ActivityModel::takeNewOutcomes() {
    for (const SyncOutcome* outcome : newerThan(monitor_->outcomes(), lastOutcome_)) {
        insert(activityEntry(*outcome));
        markConfirmed(*outcome);
        lastOutcome_ = outcome->id;
        ++outcomeRows_;
    }
    forgetDropped(false);
}

void ActivityModel::insert(ActivityEntry entry) {
    // Nearly always the top; a record stamped before one already shown (an
    // answer taken while a poll ran) goes where its time puts it.
    const auto at = std::find_if(entries_.begin(), entries_.end(),
                                 [&](const ActivityEntry& e) { return e.timestamp <= entry.timestamp; });
    const int row = static_cast<int>(at - entries_.begin());
    beginInsertRows({}, row, row);
    entries_.insert(at, std::move(entry));
    endInsertRows();
}

void ActivityModel::markConfirmed(const SyncOutcome& outcome) {
    const auto* confirmed = std::get_if<DeliveryConfirmed>(&outcome.detail);
    if (!confirmed) return;
    std::vector<Uuid> ids = confirmed->sentOutcomes;
    for (std::size_t row = 0; row < entries_.size() && !ids.empty(); ++row) {
        ActivityEntry& e = entries_[row];
        const auto found = std::find(ids.begin(), ids.end(), e.id);
        if (found == ids.end()) continue;
        ids.erase(found);
        e.kind = QStringLiteral("Confirmed");
        e.tone = ActivityEntry::Tone::good;
        markFateConfirmed(e.details);
        const QModelIndex at = index(static_cast<int>(row), kindColumn);
        emit dataChanged(at, at);
    }
}

void ActivityModel::forgetDropped(bool events) {
    std::size_t& rows = events ? eventRows_ : outcomeRows_;
    const std::size_t kept = events ? monitor_->events().size() : monitor_->outcomes().size();
    while (rows > kept) {
        const auto oldest = std::find_if(entries_.rbegin(), entries_.rend(), [events](const ActivityEntry& e) {
            return (e.category == ActivityEntry::Category::event) == events;
        });
        const int row = static_cast<int>(entries_.rend() - oldest) - 1;
        beginRemoveRows({}, row, row);
        entries_.erase(std::next(oldest).base());
        endRemoveRows();
        --rows;
    }
}

}  // namespace lanternwick
