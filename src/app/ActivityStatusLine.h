#pragma once
// ActivityStatusLine: one line at the bottom of the main view that says what
// happened last and what followed it ("14:02:03 · Modified · 2 sent ·
// 1 skipped"), and why the console is not connected when it is not. It is a
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

// The line for the newest-first logs: the time and kind of the last event,
// then the count of each kind of line and of skipped commands recorded since
// (only those that occurred), then the reason the console is not connected.
// Before any event the counts cover everything recorded so far.
QString activityStatusText(const std::vector<LightingChangeEvent>& events, const std::vector<SyncOutcome>& outcomes,
                           const LinkStatus& link);

}  // namespace lanternwick
