#pragma once
// ConnectionPill: the header's connection indicator. An 8x8 dot and the text
// "Connected to Eos" (green) or "Not Connected" (red), inset 10 by 6, on a
// capsule tinted with the same colour at 0.16 and outlined at 0.5. Starts
// disconnected. GUI thread only.

#include <QWidget>

class QLabel;

namespace lanternwick {

class ConnectionPill final : public QWidget {
    Q_OBJECT
public:
    explicit ConnectionPill(QWidget* parent = nullptr);

    void setConnected(bool connected);
    bool isConnected() const { return connected_; }
    QString text() const;
    QColor color() const;

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    QLabel* label_;
    QWidget* dot_;
    bool connected_ = false;
};

}  // namespace lanternwick
