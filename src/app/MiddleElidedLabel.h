#pragma once
// MiddleElidedLabel: one line of text that takes the width it is given and,
// when that is too little, drops characters from the middle ("/home/…/x.xml").
// The text is selectable; copying (Ctrl+C or the context menu) always copies
// the whole text, never the elided form. GUI thread only.

#include <QLabel>

namespace lanternwick {

class MiddleElidedLabel final : public QLabel {
    Q_OBJECT
public:
    explicit MiddleElidedLabel(QWidget* parent = nullptr);

    void setFullText(const QString& text);
    QString fullText() const { return fullText_; }

    QSize minimumSizeHint() const override;
    QSize sizeHint() const override;

protected:
    void resizeEvent(QResizeEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void contextMenuEvent(QContextMenuEvent* event) override;

private:
    void updateElision();

    QString fullText_;
};

}  // namespace lanternwick
