#pragma once
// MarkerFileStatus: whether the marker file the monitor watches can be used,
// and when it cannot, the sentence the file card shows with the next step.
// The monitor only records a missing or unreadable file in its event log; the
// window has to say it where the file is chosen, and has to tell a first
// start (nothing chosen, nothing at the usual place) from a chosen file that
// went away. A look costs a stat and an access check; what only reading the
// file can tell (a read error, a missing header) comes from the monitor's
// last poll, so a large show saved often never stalls the window.
// Synchronous, on the GUI thread.

#include <filesystem>

#include <QString>

#include "monitor/MarkerFileSnapshot.h"

namespace lanternwick {

enum class MarkerFileState { usable, notChosen, missing, unreadable, refused };

struct MarkerFileStatus {
    MarkerFileState state = MarkerFileState::usable;
    // Why the file cannot be used, in the user's words; empty when usable.
    QString reason;

    friend bool operator==(const MarkerFileStatus&, const MarkerFileStatus&) = default;
};

// The link text of the next step in the file card's notice.
inline constexpr auto chooseMarkerFileLink = u"Choose the marker file\u2026";

// `file` is the monitored file, `defaultFile` where the monitor looks when
// nothing was chosen, `verdict` what the monitor's last poll of `file` found.
MarkerFileStatus markerFileStatus(const std::filesystem::path& file, const std::filesystem::path& defaultFile,
                                  const FileVerdict& verdict);

// The notice for a status that is not usable, as rich text with the link.
QString markerFileNotice(const MarkerFileStatus& status);

}  // namespace lanternwick
