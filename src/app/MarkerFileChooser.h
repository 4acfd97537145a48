#pragma once
// MarkerFileChooser: asks the user for a marker file. The configuration
// window calls it from the "Select" button on the GUI thread; it blocks there
// until the user answers. Behind an interface so that tests answer it
// without a modal dialog. Absent means the user cancelled.

#include <optional>
#include <string>

class QWidget;

namespace lanternwick {

class MarkerFileChooser {
public:
    virtual ~MarkerFileChooser() = default;

    // The chosen file's absolute path, UTF-8.
    virtual std::optional<std::string> chooseMarkerFile(QWidget* parent) = 0;
};

// The real chooser: a modal open dialog titled "Select Tempolane File" with a
// "Select" button, one existing file only, XML files only.
class DialogMarkerFileChooser final : public MarkerFileChooser {
public:
    std::optional<std::string> chooseMarkerFile(QWidget* parent) override;
};

}  // namespace lanternwick
