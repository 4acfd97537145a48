#pragma once
// EosConfigurationView: the content of the application's only window. It
// shows and edits the monitor's console host, port and framing, the marker
// file and the three options, and shows whether the console is connected and
// whether the marker file can be used; a status line above the disclaimer
// tells how things stand and opens the activity window when clicked. It
// prefers 532 x 650 (more with a large font) and can be made smaller: then
// the cards scroll between the header and the status line.
// Shares the monitor with the application shell and observes it for its own
// life; it reacts only to the field that changed. Showing the view starts
// monitoring. The file dialog is borrowed through MarkerFileChooser so that
// tests can answer it. GUI thread only, the same thread as the monitor.

#include <cstdint>
#include <memory>
#include <optional>

#include <QMessageBox>
#include <QPointer>
#include <QWidget>

#include "app/MarkerFileStatus.h"
#include "monitor/LightingFileMonitor.h"

class QComboBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QScrollArea;

namespace lanternwick {

class ActivityStatusLine;
class ConnectionPill;
class MarkerFileChooser;
class MiddleElidedLabel;
class SwitchToggle;
class WarningBox;

class EosConfigurationView final : public QWidget {
    Q_OBJECT
public:
    EosConfigurationView(std::shared_ptr<LightingFileMonitor> monitor, std::shared_ptr<MarkerFileChooser> chooser,
                         QWidget* parent = nullptr);
    ~EosConfigurationView() override;

    // Present while the invalid-file alert is up.
    const std::optional<QString>& fileSelectionErrorMessage() const { return fileSelectionErrorMessage_; }
    QMessageBox* fileSelectionAlert() const { return fileSelectionAlert_; }

    // What the "Select" button does, callable without the button.
    void selectMarkerFile();

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;

signals:
    // The status line was clicked.
    void activityRequested();

protected:
    void showEvent(QShowEvent* event) override;

private:
    QWidget* makeHeader();
    QWidget* makeConsoleSection();
    QWidget* makeFileSection();
    QWidget* makeOptionsSection();

    void monitorChanged(MonitorField field);
    void hostEdited(const QString& text);
    void portTextChanged(const QString& text);
    void showPortFromMonitor();
    void showFileSelectionError(const QString& message);
    void showActivityStatus();
    void showFraming();
    // Without checkHeader only what a stat tells is looked at again.
    void refreshFileStatus();

    std::shared_ptr<LightingFileMonitor> monitor_;
    std::shared_ptr<MarkerFileChooser> chooser_;
    LightingFileMonitor::ObserverId observerId_ = 0;

    ConnectionPill* pill_ = nullptr;
    QLineEdit* hostField_ = nullptr;
    QLineEdit* portField_ = nullptr;
    MiddleElidedLabel* pathLabel_ = nullptr;
    QPushButton* selectButton_ = nullptr;
    SwitchToggle* updateOnConnectToggle_ = nullptr;
    SwitchToggle* syncLabelsToggle_ = nullptr;
    SwitchToggle* deleteCuesToggle_ = nullptr;
    WarningBox* deleteWarning_ = nullptr;
    ActivityStatusLine* activityStatus_ = nullptr;
    QComboBox* framingBox_ = nullptr;
    WarningBox* fileNotice_ = nullptr;
    QWidget* cards_ = nullptr;
    QScrollArea* scrollArea_ = nullptr;

    std::filesystem::path defaultFile_;
    MarkerFileStatus fileStatus_;

    // The port the field last followed, so that only a real change of the
    // monitor's port rewrites what the user typed.
    std::uint16_t shownPort_ = 0;
    // True while the field is being set from the monitor; such text never
    // goes back to the monitor as an edit.
    bool followingMonitor_ = false;
    std::optional<QString> fileSelectionErrorMessage_;
    QPointer<QMessageBox> fileSelectionAlert_;
};

}  // namespace lanternwick
