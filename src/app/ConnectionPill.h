#pragma once
// ConnectionPill: the header's connection indicator. An 8x8 dot and the text
// "Connected to Eos" (green, once the console has answered), "Connecting…"
// (amber, until it answers), "No Answer" or "Not Connected" (red), followed
// by " · N held" while lines wait for the console; inset 10 by 6, on a
// capsule tinted with the same colour at 0.16 and outlined at 0.5. The
// link's reason (why it is down, what to check) is its tooltip. Starts not
// connected. GUI thread only.

#include <QWidget>

#include "eos/SyncOutcome.h"

class QLabel;

namespace lanternwick {

class ConnectionPill final : public QWidget {
    Q_OBJECT
public:
    explicit ConnectionPill(QWidget* parent = nullptr);

    void setStatus(const LinkStatus& status);
    const LinkStatus& status() const { return status_; }
    QString text() const;
    QColor color() const;

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    QLabel* label_;
    QWidget* dot_;
    LinkStatus status_;
};

}  // namespace lanternwick
