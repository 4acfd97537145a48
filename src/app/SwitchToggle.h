#pragma once
// SwitchToggle: a check box drawn as a sliding switch, its caption to the
// left. It keeps QCheckBox's behaviour (toggled/clicked signals, space key,
// accessibility as a check box) and only changes the painting and the hit
// area, which is the caption and the switch together. GUI thread only.

#include <QCheckBox>

namespace lanternwick {

class SwitchToggle final : public QCheckBox {
    Q_OBJECT
public:
    explicit SwitchToggle(const QString& caption, QWidget* parent = nullptr);

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;

protected:
    void paintEvent(QPaintEvent* event) override;
    bool hitButton(const QPoint& position) const override;

private:
    QRect trackRect() const;
};

}  // namespace lanternwick
