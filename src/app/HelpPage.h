#pragma once
// HelpPage: where the help page shipped with the application is. It lives
// in share/lanternwick/help/index.html beside the installed bin/ folder, and
// next to the executable in help/ inside a build tree. Pure lookups on the
// file system; any thread.

#include <QString>
#include <QUrl>

namespace lanternwick {

// A file URL of the first help page that exists for an executable in
// `applicationDirectory`, or an invalid URL when none does.
QUrl helpPageUrl(const QString& applicationDirectory);

}  // namespace lanternwick
