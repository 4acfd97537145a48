#include "app/Theme.h"

#include <QFontDatabase>
#include <QGuiApplication>

namespace lanternwick::theme {
namespace {

QFont sized(int pixels, QFont::Weight weight = QFont::Normal) {
    QFont font = QGuiApplication::font();
    font.setPixelSize(pixels);
    font.setWeight(weight);
    return font;
}

}  // namespace

QColor background() { return QColor(16, 16, 16); }
QColor primaryText() { return QColor(255, 255, 255, 217); }
QColor secondaryText() { return QColor(255, 255, 255, 140); }
QColor textBackground() { return QColor(30, 30, 30); }
QColor connectedGreen() { return QColor(48, 209, 88); }
QColor disconnectedRed() { return QColor(255, 69, 58); }
QColor warningRed() { return QColor(255, 69, 58); }
QColor accent() { return QColor(10, 132, 255); }

QColor withOpacity(QColor color, double opacity) {
    color.setAlphaF(static_cast<float>(opacity));
    return color;
}

QFont title2Font() { return sized(17, QFont::DemiBold); }
QFont headlineFont() { return sized(13, QFont::DemiBold); }
QFont bodyFont() { return sized(13); }
QFont calloutFont() { return sized(12); }
QFont captionFont() { return sized(10); }
QFont footnoteFont() { return sized(10); }

QFont monospacedCalloutFont() {
    QFont font = QFontDatabase::systemFont(QFontDatabase::FixedFont);
    font.setPixelSize(12);
    return font;
}

}  // namespace lanternwick::theme
