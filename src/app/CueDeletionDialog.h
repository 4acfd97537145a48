#pragma once
// CueDeletionDialog: the window's answer to "may this cue be deleted?". A
// warning-style modal question with "Yes" and "No" (the default) and the
// "Do not ask again in this session" check box, kept above other
// applications' windows and activated so it is seen even while the user
// works in the timeline application. Owned by main() for the whole run and
// asked by the monitor on the GUI thread; the question runs a nested event
// loop until it is answered. Return and Escape answer "No".

#include <QPointer>
#include <QWidget>

#include "eos/CueDeletionPrompt.h"

namespace lanternwick {

class CueDeletionDialog final : public CueDeletionPrompt {
public:
    CueDeletionDialog() = default;

    // The window the question is centred on; it may go away at any time.
    void setParentWindow(QWidget* window) { parentWindow_ = window; }

    CueDeletionAnswer confirmCueDeletion(std::int64_t list, std::string_view cueNumber) override;

private:
    QPointer<QWidget> parentWindow_;
};

}  // namespace lanternwick
