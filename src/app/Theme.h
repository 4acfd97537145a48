#pragma once
// Theme: the colours and fonts of the configuration window in one place. The
// window is always dark (its background is a fixed near-black), so the text
// colours are those of a dark appearance whatever the desktop's theme is.
// Sizes are in device-independent pixels, one per point of the layout. Fonts
// follow the application's (the desktop's) font: each keeps the ratio it has
// to Qt's stock 9-point font, at which the layout was drawn, so a user's
// larger font grows every text alike instead of mixing sizes. Pure values,
// GUI thread only (QFont).

#include <QColor>
#include <QFont>
#include <QPalette>

namespace lanternwick::theme {

// The window's size when the screen has room for it; it may be made smaller
// (the cards then scroll) or larger.
inline constexpr int windowWidth = 532;
inline constexpr int windowHeight = 650;

QColor background();
QColor primaryText();
QColor secondaryText();
QColor textBackground();
QColor connectedGreen();
QColor disconnectedRed();
// A console link on its way up, and lines or commands that wait.
QColor connectingAmber();
QColor warningRed();
QColor accent();

// `color` with its alpha replaced by `opacity` (0 to 1).
QColor withOpacity(QColor color, double opacity);

// A dark palette for everything outside the view (menus, dialogs), so the
// application does not mix a light menu bar with its dark window.
QPalette applicationPalette();

QFont title2Font();
QFont headlineFont();
QFont bodyFont();
QFont calloutFont();
QFont captionFont();
QFont footnoteFont();
QFont monospacedCalloutFont();
QFont smallButtonFont();

// `pixels` as drawn at the stock font, in the user's font size.
int scaledToFont(int pixels);

}  // namespace lanternwick::theme
