#pragma once
// WarningBox: a red notice, as under "Delete Cues if Deleted" and in the file
// card when the marker file cannot be used. Bold red callout text that wraps
// instead of truncating, inset 10, on a rounded (radius 9) fill of red at
// 0.13 with a 1.2-point red border at 0.6. A notice given as rich text may
// carry links, which are reported instead of opened. GUI thread only.

#include <QWidget>

class QLabel;

namespace lanternwick {

class WarningBox final : public QWidget {
    Q_OBJECT
public:
    explicit WarningBox(const QString& text, QWidget* parent = nullptr);

    // The text as shown, without markup.
    QString text() const;
    void setPlainText(const QString& text);
    void setRichText(const QString& html);

signals:
    void linkActivated(const QString& link);

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    QLabel* label_;
};

}  // namespace lanternwick
