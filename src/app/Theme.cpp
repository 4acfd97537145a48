#include "app/Theme.h"

#include <algorithm>
#include <cmath>

#include <QFontDatabase>
#include <QGuiApplication>

namespace lanternwick::theme {
namespace {

constexpr double drawnAtPointSize = 9.0;

double fontScale() {
    const QFont font = QGuiApplication::font();
    // A font given in pixels has no point size; 96 dpi is what pixels assume.
    const double points = font.pointSizeF() > 0 ? font.pointSizeF() : font.pixelSize() * 72.0 / 96.0;
    return points > 0 ? points / drawnAtPointSize : 1.0;
}

QFont sized(int pixels, QFont::Weight weight = QFont::Normal) {
    QFont font = QGuiApplication::font();
    font.setPixelSize(scaledToFont(pixels));
    font.setWeight(weight);
    return font;
}

}  // namespace

int scaledToFont(int pixels) { return std::max(1, static_cast<int>(std::lround(pixels * fontScale()))); }

QColor background() { return QColor(16, 16, 16); }
QColor primaryText() { return QColor(255, 255, 255, 217); }
QColor secondaryText() { return QColor(255, 255, 255, 140); }
QColor textBackground() { return QColor(30, 30, 30); }
QColor connectedGreen() { return QColor(48, 209, 88); }
QColor disconnectedRed() { return QColor(255, 69, 58); }
QColor connectingAmber() { return QColor(255, 159, 10); }
QColor warningRed() { return QColor(255, 69, 58); }
QColor accent() { return QColor(10, 132, 255); }

QColor withOpacity(QColor color, double opacity) {
    color.setAlphaF(static_cast<float>(opacity));
    return color;
}

QPalette applicationPalette() {
    QPalette palette;
    const QColor window(36, 36, 38);
    const QColor text(236, 236, 236);
    const QColor disabledText(128, 128, 128);
    palette.setColor(QPalette::Window, window);
    palette.setColor(QPalette::WindowText, text);
    palette.setColor(QPalette::Base, textBackground());
    palette.setColor(QPalette::AlternateBase, window);
    palette.setColor(QPalette::ToolTipBase, window);
    palette.setColor(QPalette::ToolTipText, text);
    palette.setColor(QPalette::PlaceholderText, disabledText);
    palette.setColor(QPalette::Text, text);
    palette.setColor(QPalette::Button, QColor(52, 52, 56));
    palette.setColor(QPalette::ButtonText, text);
    palette.setColor(QPalette::BrightText, disconnectedRed());
    palette.setColor(QPalette::Light, QColor(70, 70, 74));
    palette.setColor(QPalette::Midlight, QColor(58, 58, 62));
    palette.setColor(QPalette::Mid, QColor(44, 44, 46));
    palette.setColor(QPalette::Dark, QColor(20, 20, 22));
    palette.setColor(QPalette::Shadow, Qt::black);
    palette.setColor(QPalette::Highlight, accent());
    palette.setColor(QPalette::HighlightedText, Qt::white);
    palette.setColor(QPalette::Link, accent());
    for (const auto role : {QPalette::WindowText, QPalette::Text, QPalette::ButtonText}) {
        palette.setColor(QPalette::Disabled, role, disabledText);
    }
    return palette;
}

QFont title2Font() { return sized(17, QFont::DemiBold); }
QFont headlineFont() { return sized(13, QFont::DemiBold); }
QFont bodyFont() { return sized(13); }
QFont calloutFont() { return sized(12); }
QFont captionFont() { return sized(10); }
QFont footnoteFont() { return sized(10); }

QFont monospacedCalloutFont() {
    QFont font = QFontDatabase::systemFont(QFontDatabase::FixedFont);
    font.setPixelSize(scaledToFont(12));
    return font;
}

QFont smallButtonFont() { return sized(11); }

}  // namespace lanternwick::theme
