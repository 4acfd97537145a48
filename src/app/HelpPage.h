#pragma once
// HelpPage: where the help page shipped with the application is. It lives
// in share/lanternwick/help/index.html beside the installed bin/ folder, and
// next to the executable in help/ inside a build tree. Lookups on the file
// system, any thread; openInBrowser on the GUI thread.

#include <functional>

#include <QString>
#include <QUrl>

namespace lanternwick {

// A file URL of the first help page that exists for an executable in
// `applicationDirectory`, or an invalid URL when none does.
QUrl helpPageUrl(const QString& applicationDirectory);

// Hands `page` to the desktop's opener and calls `failed` on the GUI thread
// when it says no browser took it. On Linux the opener (xdg-open) tells so
// only by its exit status, after its search for a browser.
void openInBrowser(const QUrl& page, std::function<void()> failed);

}  // namespace lanternwick
