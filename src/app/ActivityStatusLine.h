#pragma once
// ActivityStatusLine: one line at the bottom of the main view that says how
// things stand now: the console link with the lines held for it this moment,
// then the last change of the file and what became of its own lines
// ("Connected · Modified 14:02:03: 2 sent, 1 skipped"). It is a
// button: clicking it (or Space while it has focus) opens the activity
// window. The text is cut at the right with an ellipsis when it does not fit;
// fullText() keeps it whole. GUI thread only.

#include <vector>

#include <QAbstractButton>

#include "eos/SyncOutcome.h"
#include "markers/LightingChangeEvent.h"

namespace lanternwick {

class ActivityStatusLine final : public QAbstractButton {
    Q_OBJECT
public:
    explicit ActivityStatusLine(QWidget* parent = nullptr);

    void setFullText(const QString& text);
    const QString& fullText() const { return fullText_; }
    // A standing remark for the tooltip, below what a click does.
    void setNote(const QString& note);

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    QString fullText_;
};

// The line for the newest-first logs. A change's own lines are those
// recorded after its event and before the next connection change (later ones
// belong to the reconnection); each counts under the newest fate recorded for
// the same line since, so a line held and then sent reads as sent.
QString activityStatusText(const std::vector<LightingChangeEvent>& events, const std::vector<SyncOutcome>& outcomes,
                           const LinkStatus& link);

}  // namespace lanternwick
