#pragma once
// Theme: the colours and fonts of the configuration window in one place. The
// window is always dark (its background is a fixed near-black), so the text
// colours are those of a dark appearance whatever the desktop's theme is.
// Sizes are in device-independent pixels, one per point of the layout; fonts
// are sized in pixels for the same reason, so the layout does not grow with a
// desktop's 96-dpi point scaling. Pure values, GUI thread only (QFont).

#include <QColor>
#include <QFont>
#include <QPalette>

namespace lanternwick::theme {

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

}  // namespace lanternwick::theme
