#pragma once
// WarningBox: the red notice under "Delete Cues if Deleted". Bold red callout
// text that wraps instead of truncating, inset 10, on a rounded (radius 9)
// fill of red at 0.13 with a 1.2-point red border at 0.6. GUI thread only.

#include <QWidget>

class QLabel;

namespace lanternwick {

class WarningBox final : public QWidget {
    Q_OBJECT
public:
    explicit WarningBox(const QString& text, QWidget* parent = nullptr);

    QString text() const;

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    QLabel* label_;
};

}  // namespace lanternwick
