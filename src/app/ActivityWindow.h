#pragma once
// ActivityWindow: "Lanternwick Activity", the live record of what the monitor
// saw and what became of it: a filter field, the table of events and sync
// outcomes (newest first) and, below it, the details of the selected row.
// Above the table, while saves are not reported by the system, a note says
// that they are picked up by the check every second.
// The selection copies as text with Ctrl+C or the context menu's "Copy".
// Dark like the main window, and resizable.
// The application has one: the main window makes it on first use and keeps
// it (closing only hides it). Shares the monitor; GUI thread only.

#include <memory>

#include <QWidget>

class QLabel;
class QLineEdit;
class QPlainTextEdit;
class QSortFilterProxyModel;
class QTableView;

namespace lanternwick {

class ActivityModel;
class LightingFileMonitor;

class ActivityWindow final : public QWidget {
    Q_OBJECT
public:
    explicit ActivityWindow(std::shared_ptr<LightingFileMonitor> monitor, QWidget* parent = nullptr);

    ActivityModel* model() const { return model_; }
    QSortFilterProxyModel* filteredModel() const { return filtered_; }
    QLineEdit* filterField() const { return filterField_; }
    QTableView* table() const { return table_; }
    QPlainTextEdit* detailsView() const { return details_; }
    QLabel* watchNote() const { return watchNote_; }

    // The selected rows as text, in the order shown; empty without a selection.
    QString selectionText() const;
    void copySelection() const;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void showDetailsOfCurrentRow();
    void updateCount();
    void showWatchNote(const QString& note);

    ActivityModel* model_;
    QSortFilterProxyModel* filtered_;
    QLineEdit* filterField_;
    QLabel* count_;
    QLabel* watchNote_;
    QTableView* table_;
    QPlainTextEdit* details_;
};

}  // namespace lanternwick
