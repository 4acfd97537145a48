#pragma once
// SectionCard: one titled card of the configuration window. A headline title
// over a column of content, inset 11 on all sides, on a rounded (radius 12)
// translucent text-background fill with a faint 1-point border. The card owns
// the widgets added to it through Qt parenting. GUI thread only.

#include <QFrame>

class QVBoxLayout;

namespace lanternwick {

class SectionCard final : public QFrame {
    Q_OBJECT
public:
    explicit SectionCard(const QString& title, QWidget* parent = nullptr);

    // The column below the title; children are left-aligned, 8 apart.
    QVBoxLayout* content() const { return content_; }

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    QVBoxLayout* content_;
};

}  // namespace lanternwick
