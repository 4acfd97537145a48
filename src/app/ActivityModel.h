#pragma once
// ActivityModel: the monitor's change events and sync outcomes as one table,
// newest first, merged by time: what happened to the file, what went to the
// console (sent, then confirmed once the console answered for it; held,
// waiting, replaced, dropped), what was skipped and why, the console's
// replies, connection changes and deletion questions. Columns: time, kind,
// summary; the details, the full time and a search text are extra roles.
// Live: it observes the monitor and inserts each new record where its time
// belongs, so views keep their selection. It holds what the monitor holds:
// every event, and the outcomes still in the monitor's bounded log (an
// outcome that falls off there leaves the table too).
// Shares the monitor with the window; GUI thread only, the monitor's thread.

#include <chrono>
#include <memory>
#include <optional>
#include <vector>

#include <QAbstractTableModel>
#include <QColor>
#include <QString>

#include "monitor/LightingFileMonitor.h"

namespace lanternwick {

// One row of the table, made from an event or an outcome.
struct ActivityEntry {
    enum class Category { event, line, skipped, received, connection, question, confirmed };
    // How the kind is coloured: as a success, a pending state, a failure, or
    // greyed as something normal that needs no attention.
    enum class Tone { plain, good, pending, bad, muted };

    Uuid id;
    std::chrono::system_clock::time_point timestamp;
    Category category = Category::event;
    Tone tone = Tone::plain;
    QString kind;
    QString summary;
    QString details;
};

ActivityEntry activityEntry(const LightingChangeEvent& event);
ActivityEntry activityEntry(const SyncOutcome& outcome);

class ActivityModel final : public QAbstractTableModel {
    Q_OBJECT
public:
    enum Column { timeColumn, kindColumn, summaryColumn, columnTotal };
    enum Role { detailsRole = Qt::UserRole + 1, fullTimeRole, searchTextRole };

    explicit ActivityModel(std::shared_ptr<LightingFileMonitor> monitor, QObject* parent = nullptr);
    ~ActivityModel() override;

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;

    const ActivityEntry& entry(int row) const { return entries_.at(static_cast<std::size_t>(row)); }

    // The rows as a person would paste them into a message: time, kind and
    // summary on one line, the details indented below.
    QString rowsAsText(const std::vector<int>& rows) const;

    // Why saves are seen only by the check every second; empty while the
    // marker file's folder is watched.
    QString fileWatchNote() const;

signals:
    void fileWatchNoteChanged(const QString& note);

private:
    void monitorChanged(MonitorField field);
    void takeNewEvents();
    void takeNewOutcomes();
    void insert(ActivityEntry entry);
    // Rows of records the monitor's bounded logs no longer hold go too, so
    // the window keeps no more than the monitor does.
    void forgetDropped(bool events);
    // A confirmation turns the rows of the lines it names to "Confirmed".
    void markConfirmed(const SyncOutcome& outcome);

    std::shared_ptr<LightingFileMonitor> monitor_;
    LightingFileMonitor::ObserverId observerId_ = 0;
    std::vector<ActivityEntry> entries_;
    std::optional<Uuid> lastEvent_;
    std::optional<Uuid> lastOutcome_;
    std::size_t outcomeRows_ = 0;
    std::size_t eventRows_ = 0;
};

// "HH:mm:ss" and "yyyy-MM-dd HH:mm:ss.zzz", local time.
QString activityClockText(std::chrono::system_clock::time_point time);
QString activityFullTimeText(std::chrono::system_clock::time_point time);

QColor toneColor(ActivityEntry::Tone tone);

}  // namespace lanternwick
