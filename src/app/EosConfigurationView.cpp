#include "app/EosConfigurationView.h"

#include <algorithm>

#include <QComboBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPainter>
#include <QPainterPath>
#include <QPushButton>
#include <QScrollArea>
#include <QShowEvent>
#include <QVBoxLayout>

#include "app/ActivityStatusLine.h"
#include "app/ConnectionPill.h"
#include "app/MarkerFileChooser.h"
#include "app/MarkerFileStatus.h"
#include "app/MiddleElidedLabel.h"
#include "app/PortFieldFilter.h"
#include "app/SectionCard.h"
#include "app/SwitchToggle.h"
#include "app/Theme.h"
#include "app/WarningBox.h"

namespace lanternwick {
namespace {

constexpr int iconSize = 34;
constexpr int iconCornerRadius = 7;
constexpr int fieldLabelWidth = 68;
constexpr int portFieldWidth = 128;

const QString deleteWarningText = QStringLiteral(
    "Deleting cues from Tempolane will DELETE the corresponding cue in Eos.\n"
    "You probably do not want to enable this if you already have data in cues!");

const QString disclaimerText = QStringLiteral(
    "Provided as is, without warranty of any kind; no responsibility is taken for any loss of data.\n"
    "Back up your show files before using this application.");

QLabel* makeLabel(const QString& text, const QFont& font, const QColor& color, QWidget* parent) {
    auto* label = new QLabel(text, parent);
    label->setFont(font);
    QPalette palette = label->palette();
    palette.setColor(QPalette::WindowText, color);
    label->setPalette(palette);
    return label;
}

QLabel* makeCaption(const QString& text, QWidget* parent) {
    auto* label = makeLabel(text, theme::captionFont(), theme::secondaryText(), parent);
    label->setWordWrap(true);
    return label;
}

QPixmap roundedIcon(qreal devicePixelRatio) {
    const QImage source(QStringLiteral(":/lanternwick/lanternwick.png"));
    const int pixels = qRound(iconSize * devicePixelRatio);
    QPixmap icon(pixels, pixels);
    icon.fill(Qt::transparent);
    QPainter painter(&icon);
    painter.setRenderHints(QPainter::Antialiasing | QPainter::SmoothPixmapTransform);
    QPainterPath clip;
    const qreal radius = iconCornerRadius * devicePixelRatio;
    clip.addRoundedRect(QRectF(0, 0, pixels, pixels), radius, radius);
    painter.setClipPath(clip);
    painter.drawImage(QRect(0, 0, pixels, pixels),
                      source.scaled(pixels, pixels, Qt::IgnoreAspectRatio, Qt::SmoothTransformation));
    painter.end();
    icon.setDevicePixelRatio(devicePixelRatio);
    return icon;
}

QString displayPath(const std::filesystem::path& path) {
    return QString::fromStdString(path.string());
}

QString viewStyleSheet() {
    return QStringLiteral(
        "QLineEdit { background: rgba(255,255,255,0.06); color: rgba(255,255,255,0.85);"
        " border: 1px solid rgba(255,255,255,0.16); border-radius: 5px; padding: 2px 6px;"
        " selection-background-color: rgb(10,132,255); }"
        "QLineEdit:focus { border: 1px solid rgba(10,132,255,0.9); }"
        "QComboBox { background: rgba(255,255,255,0.06); color: rgba(255,255,255,0.85);"
        " border: 1px solid rgba(255,255,255,0.16); border-radius: 5px; padding: 2px 6px; }"
        "QComboBox:focus { border: 1px solid rgba(10,132,255,0.9); }"
        "QComboBox QAbstractItemView { background: rgb(36,36,38); color: rgba(255,255,255,0.85);"
        " selection-background-color: rgb(10,132,255); }"
        "QScrollArea, QScrollArea > QWidget > QWidget#cards { background: transparent; }"
        "QPushButton#selectButton { background: rgb(10,132,255); color: white; border: none;"
        " border-radius: 5px; padding: 3px 10px; }"
        "QPushButton#selectButton:pressed { background: rgb(0,104,214); }"
        "QPushButton#selectButton:focus { border: 1px solid rgba(255,255,255,0.6); }");
}

}  // namespace

EosConfigurationView::EosConfigurationView(std::shared_ptr<LightingFileMonitor> monitor,
                                           std::shared_ptr<MarkerFileChooser> chooser, QWidget* parent)
    : QWidget(parent),
      monitor_(std::move(monitor)),
      chooser_(std::move(chooser)),
      defaultFile_(defaultMarkerFilePath()) {
    setObjectName(QStringLiteral("eosConfigurationView"));
    setAutoFillBackground(true);
    QPalette palette = this->palette();
    palette.setColor(QPalette::Window, theme::background());
    palette.setColor(QPalette::WindowText, theme::primaryText());
    palette.setColor(QPalette::Text, theme::primaryText());
    palette.setColor(QPalette::Base, theme::textBackground());
    palette.setColor(QPalette::PlaceholderText, theme::withOpacity(Qt::white, 0.3));
    palette.setColor(QPalette::Highlight, theme::accent());
    palette.setColor(QPalette::HighlightedText, Qt::white);
    setPalette(palette);
    setFont(theme::bodyFont());
    setStyleSheet(viewStyleSheet());

    auto* column = new QVBoxLayout(this);
    column->setContentsMargins(14, 14, 14, 14);
    column->setSpacing(12);
    column->addWidget(makeHeader());
    // The cards scroll, so that the header and the status line stay in view
    // in a window shorter than the cards (a small screen, a large font).
    cards_ = new QWidget;
    cards_->setObjectName(QStringLiteral("cards"));
    auto* cardColumn = new QVBoxLayout(cards_);
    cardColumn->setContentsMargins(0, 0, 0, 0);
    cardColumn->setSpacing(12);
    cardColumn->addWidget(makeConsoleSection());
    cardColumn->addWidget(makeFileSection());
    cardColumn->addWidget(makeOptionsSection());
    cardColumn->addStretch(1);
    scrollArea_ = new QScrollArea(this);
    scrollArea_->setObjectName(QStringLiteral("cardScroller"));
    scrollArea_->setFrameShape(QFrame::NoFrame);
    scrollArea_->setWidgetResizable(true);
    scrollArea_->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    scrollArea_->setWidget(cards_);
    scrollArea_->viewport()->setAutoFillBackground(false);
    cards_->setAutoFillBackground(false);
    scrollArea_->setMinimumHeight(theme::scaledToFont(120));
    column->addWidget(scrollArea_, 1);
    activityStatus_ = new ActivityStatusLine(this);
    activityStatus_->setObjectName(QStringLiteral("activityStatus"));
    activityStatus_->setFont(theme::footnoteFont());
    column->addWidget(activityStatus_);
    connect(activityStatus_, &QAbstractButton::clicked, this, &EosConfigurationView::activityRequested);
    auto* disclaimer = makeLabel(disclaimerText, theme::footnoteFont(), theme::secondaryText(), this);
    disclaimer->setObjectName(QStringLiteral("disclaimer"));
    disclaimer->setWordWrap(true);
    column->addWidget(disclaimer);

    pill_->setStatus(monitor_->eosLinkStatus());
    showActivityStatus();
    activityStatus_->setNote(QString::fromStdString(monitor_->fileWatchNote()));
    hostField_->setText(QString::fromStdString(monitor_->eosHost()));
    pathLabel_->setFullText(displayPath(monitor_->fileURL()));
    showFraming();
    updateOnConnectToggle_->setChecked(monitor_->optUpdateOnConnect());
    syncLabelsToggle_->setChecked(monitor_->optSyncLabels());
    deleteCuesToggle_->setChecked(monitor_->optDeleteCues());
    deleteWarning_->setVisible(monitor_->optDeleteCues());
    shownPort_ = monitor_->eosPort();

    observerId_ = monitor_->addObserver([this](MonitorField field) { monitorChanged(field); });

    refreshFileStatus();
}

QSize EosConfigurationView::sizeHint() const {
    // Tall enough for every card without scrolling where the screen allows.
    const int cardsHeight = cards_->sizeHint().height();
    const int fixedHeight = layout()->sizeHint().height() - scrollArea_->sizeHint().height();
    return {std::max(theme::windowWidth, layout()->sizeHint().width()),
            std::max(theme::windowHeight, fixedHeight + cardsHeight)};
}

QSize EosConfigurationView::minimumSizeHint() const {
    // Narrow enough for a small screen; the cards still fit across.
    return {std::max(theme::scaledToFont(420), cards_->minimumSizeHint().width() + 28),
            layout()->minimumSize().height()};
}

EosConfigurationView::~EosConfigurationView() { monitor_->removeObserver(observerId_); }

QWidget* EosConfigurationView::makeHeader() {
    auto* header = new QWidget(this);
    auto* row = new QHBoxLayout(header);
    row->setContentsMargins(0, 0, 0, 0);
    row->setSpacing(0);

    auto* icon = new QLabel(header);
    icon->setObjectName(QStringLiteral("appIcon"));
    icon->setFixedSize(iconSize, iconSize);
    icon->setPixmap(roundedIcon(devicePixelRatioF()));
    row->addWidget(icon, 0, Qt::AlignVCenter);
    row->addSpacing(10);

    auto* titles = new QVBoxLayout;
    titles->setSpacing(2);
    auto* title = makeLabel(QStringLiteral("Lanternwick"), theme::title2Font(), theme::primaryText(), header);
    title->setObjectName(QStringLiteral("title"));
    titles->addWidget(title, 0, Qt::AlignLeft);
    auto* caption = makeLabel(QStringLiteral("Sync Tempolane with ETC Eos in real-time"), theme::captionFont(),
                              theme::secondaryText(), header);
    caption->setObjectName(QStringLiteral("caption"));
    titles->addWidget(caption, 0, Qt::AlignLeft);
    row->addLayout(titles);
    row->addStretch(1);

    pill_ = new ConnectionPill(header);
    pill_->setObjectName(QStringLiteral("connectionPill"));
    row->addWidget(pill_, 0, Qt::AlignVCenter);
    return header;
}

QWidget* EosConfigurationView::makeConsoleSection() {
    auto* card = new SectionCard(QStringLiteral("EOS Console"), this);

    const int labelWidth = std::max(fieldLabelWidth, QFontMetrics(theme::bodyFont()).horizontalAdvance(
                                                           QStringLiteral("Framing:")) + 4);
    // A row that starts with its label, the labels of all rows one width.
    const auto labelledRow = [&](const QString& label) {
        auto* row = new QHBoxLayout;
        row->setSpacing(10);
        auto* text = makeLabel(label, theme::bodyFont(), theme::secondaryText(), card);
        text->setFixedWidth(labelWidth);
        row->addWidget(text, 0, Qt::AlignVCenter);
        return row;
    };

    auto* hostRow = labelledRow(QStringLiteral("Host:"));
    hostField_ = new QLineEdit(card);
    hostField_->setObjectName(QStringLiteral("hostField"));
    hostField_->setPlaceholderText(
        QString::fromUtf8(defaultEosHost.data(), static_cast<qsizetype>(defaultEosHost.size())));
    hostRow->addWidget(hostField_, 1, Qt::AlignVCenter);
    card->content()->addLayout(hostRow);

    auto* portRow = labelledRow(QStringLiteral("Port:"));
    portField_ = new QLineEdit(card);
    portField_->setObjectName(QStringLiteral("portField"));
    // The console's own port; 8555 stays the default because saved settings
    // rely on it.
    portField_->setPlaceholderText(QString::number(consoleDocumentedPort));
    portField_->setFixedWidth(theme::scaledToFont(portFieldWidth));
    portRow->addWidget(portField_, 0, Qt::AlignVCenter);
    portRow->addStretch(1);
    card->content()->addLayout(portRow);

    auto* framingRow = labelledRow(QStringLiteral("Framing:"));
    framingBox_ = new QComboBox(card);
    framingBox_->setObjectName(QStringLiteral("framingBox"));
    for (const EosFraming framing : {EosFraming::slip, EosFraming::packetLength}) {
        const std::string_view name = displayName(framing);
        framingBox_->addItem(QString::fromUtf8(name.data(), static_cast<qsizetype>(name.size())),
                             static_cast<int>(framing));
    }
    framingRow->addWidget(framingBox_, 0, Qt::AlignVCenter);
    framingRow->addStretch(1);
    card->content()->addLayout(framingRow);

    card->content()->addWidget(makeCaption(
        QStringLiteral("In Eos (Setup > System > Show Control > OSC), enable OSC RX and TX and set the OSC TCP mode "
                       "to the framing above. Its port is %1 unless another was added there.")
            .arg(consoleDocumentedPort),
        card));

    connect(framingBox_, &QComboBox::activated, this, [this](int index) {
        monitor_->setEosFraming(static_cast<EosFraming>(framingBox_->itemData(index).toInt()));
    });
    connect(hostField_, &QLineEdit::textEdited, this, &EosConfigurationView::hostEdited);
    connect(portField_, &QLineEdit::textChanged, this, &EosConfigurationView::portTextChanged);
    return card;
}

QWidget* EosConfigurationView::makeFileSection() {
    auto* card = new SectionCard(QStringLiteral("Tempolane File"), this);
    card->content()->addWidget(makeCaption(QStringLiteral("Select your Tempolane Cue Sync XML File"), card));

    auto* row = new QHBoxLayout;
    row->setSpacing(8);
    pathLabel_ = new MiddleElidedLabel(card);
    pathLabel_->setObjectName(QStringLiteral("filePath"));
    pathLabel_->setFont(theme::monospacedCalloutFont());
    QPalette pathPalette = pathLabel_->palette();
    pathPalette.setColor(QPalette::WindowText, theme::primaryText());
    pathLabel_->setPalette(pathPalette);
    row->addWidget(pathLabel_, 1, Qt::AlignVCenter);
    selectButton_ = new QPushButton(QStringLiteral("Select"), card);
    selectButton_->setObjectName(QStringLiteral("selectButton"));
    selectButton_->setCursor(Qt::PointingHandCursor);
    selectButton_->setFont(theme::smallButtonFont());
    row->addWidget(selectButton_, 0, Qt::AlignVCenter);
    card->content()->addLayout(row);

    fileNotice_ = new WarningBox(QString(), card);
    fileNotice_->setObjectName(QStringLiteral("fileNotice"));
    fileNotice_->hide();
    card->content()->addWidget(fileNotice_);
    connect(fileNotice_, &WarningBox::linkActivated, this, &EosConfigurationView::selectMarkerFile);

    connect(selectButton_, &QPushButton::clicked, this, &EosConfigurationView::selectMarkerFile);
    return card;
}

QWidget* EosConfigurationView::makeOptionsSection() {
    auto* card = new SectionCard(QStringLiteral("Options"), this);
    auto addBlock = [card](SwitchToggle* toggle, const QString& caption) {
        auto* block = new QVBoxLayout;
        block->setSpacing(2);
        block->addWidget(toggle, 0, Qt::AlignLeft);
        block->addWidget(makeCaption(caption, card));
        card->content()->addLayout(block);
    };

    updateOnConnectToggle_ = new SwitchToggle(QStringLiteral("Update Eos on Connect"), card);
    updateOnConnectToggle_->setObjectName(QStringLiteral("updateOnConnectToggle"));
    addBlock(updateOnConnectToggle_,
             QStringLiteral("Update any existing cues in Eos on connection to match your Tempolane"));

    syncLabelsToggle_ = new SwitchToggle(QStringLiteral("Sync Labels"), card);
    syncLabelsToggle_->setObjectName(QStringLiteral("syncLabelsToggle"));
    addBlock(syncLabelsToggle_, QStringLiteral("Update Cue Labels in Eos to match your Tempolane."));

    deleteCuesToggle_ = new SwitchToggle(QStringLiteral("Delete Cues if Deleted"), card);
    deleteCuesToggle_->setObjectName(QStringLiteral("deleteCuesToggle"));
    card->content()->addWidget(deleteCuesToggle_, 0, Qt::AlignLeft);

    deleteWarning_ = new WarningBox(deleteWarningText, card);
    deleteWarning_->setObjectName(QStringLiteral("deleteWarning"));
    card->content()->addWidget(deleteWarning_);

    connect(updateOnConnectToggle_, &QCheckBox::clicked, this,
            [this](bool checked) { monitor_->setOptUpdateOnConnect(checked); });
    connect(syncLabelsToggle_, &QCheckBox::clicked, this,
            [this](bool checked) { monitor_->setOptSyncLabels(checked); });
    connect(deleteCuesToggle_, &QCheckBox::clicked, this,
            [this](bool checked) { monitor_->setOptDeleteCues(checked); });
    return card;
}

void EosConfigurationView::showEvent(QShowEvent* event) {
    QWidget::showEvent(event);
    if (event->spontaneous()) {
        return;
    }
    shownPort_ = monitor_->eosPort();
    showPortFromMonitor();
    monitor_->startMonitoring();
}

void EosConfigurationView::monitorChanged(MonitorField field) {
    switch (field) {
    case MonitorField::fileURL:
        pathLabel_->setFullText(displayPath(monitor_->fileURL()));
        refreshFileStatus();
        break;
    case MonitorField::eosHost: {
        const QString host = QString::fromStdString(monitor_->eosHost());
        if (hostField_->text() != host) {
            hostField_->setText(host);
        }
        break;
    }
    case MonitorField::eosPort:
        if (monitor_->eosPort() != shownPort_) {
            shownPort_ = monitor_->eosPort();
            showPortFromMonitor();
        }
        break;
    case MonitorField::optUpdateOnConnect:
        updateOnConnectToggle_->setChecked(monitor_->optUpdateOnConnect());
        break;
    case MonitorField::optSyncLabels:
        syncLabelsToggle_->setChecked(monitor_->optSyncLabels());
        break;
    case MonitorField::optDeleteCues:
        deleteCuesToggle_->setChecked(monitor_->optDeleteCues());
        deleteWarning_->setVisible(monitor_->optDeleteCues());
        break;
    case MonitorField::eosLinkStatus:
        pill_->setStatus(monitor_->eosLinkStatus());
        showActivityStatus();
        break;
    case MonitorField::events:
        showActivityStatus();
        break;
    case MonitorField::fileVerdict:
        refreshFileStatus();
        break;
    case MonitorField::outcomes:
        showActivityStatus();
        break;
    case MonitorField::eosFraming:
        showFraming();
        break;
    case MonitorField::fileWatchNote:
        activityStatus_->setNote(QString::fromStdString(monitor_->fileWatchNote()));
        break;
    case MonitorField::isEosConnected:
    case MonitorField::incomingOSCMessages:
    case MonitorField::outgoingOSCMessages:
    case MonitorField::cueDeletionPromptPolicy:
        break;
    }
}

void EosConfigurationView::showActivityStatus() {
    activityStatus_->setFullText(
        activityStatusText(monitor_->events(), monitor_->outcomes(), monitor_->eosLinkStatus()));
}

void EosConfigurationView::showFraming() {
    framingBox_->setCurrentIndex(framingBox_->findData(static_cast<int>(monitor_->eosFraming())));
}

void EosConfigurationView::refreshFileStatus() {
    MarkerFileStatus status = markerFileStatus(monitor_->fileURL(), defaultFile_, monitor_->fileVerdict());
    if (status == fileStatus_ && fileNotice_->isVisibleTo(this) == (status.state != MarkerFileState::usable)) return;
    fileStatus_ = std::move(status);
    fileNotice_->setRichText(markerFileNotice(fileStatus_));
    fileNotice_->setVisible(fileStatus_.state != MarkerFileState::usable);
}

void EosConfigurationView::hostEdited(const QString& text) { monitor_->setEosHost(text.toStdString()); }

void EosConfigurationView::showPortFromMonitor() {
    const QString text = portFieldText(monitor_->eosPort());
    if (portField_->text() == text) {
        return;
    }
    followingMonitor_ = true;
    portField_->setText(text);
    followingMonitor_ = false;
}

void EosConfigurationView::portTextChanged(const QString& text) {
    const PortFieldDecision decision = filterPortText(text);
    if (decision.replacementText) {
        // Keep the caret after the same kept characters it was after.
        const QString before = text.left(portField_->cursorPosition());
        const auto keptBefore = filterPortText(before).replacementText.value_or(before).size();
        portField_->setText(*decision.replacementText);
        portField_->setCursorPosition(static_cast<int>(keptBefore));
        return;
    }
    if (decision.port && !followingMonitor_) {
        monitor_->setEosPort(*decision.port);
    }
}

void EosConfigurationView::selectMarkerFile() {
    const auto chosen = chooser_->chooseMarkerFile(window());
    if (!chosen) {
        return;
    }
    const auto selected = monitor_->selectFile(std::filesystem::path(*chosen));
    if (!selected) {
        showFileSelectionError(QString::fromStdString(selected.error().description()));
    }
}

void EosConfigurationView::showFileSelectionError(const QString& message) {
    fileSelectionErrorMessage_ = message;
    auto* alert = new QMessageBox(this);
    alert->setObjectName(QStringLiteral("invalidFileAlert"));
    alert->setAttribute(Qt::WA_DeleteOnClose);
    alert->setIcon(QMessageBox::Warning);
    alert->setWindowTitle(QStringLiteral("Invalid Tempolane File"));
    alert->setText(QStringLiteral("Invalid Tempolane File"));
    alert->setInformativeText(fileSelectionErrorMessage_.value_or(QString()));
    alert->setTextFormat(Qt::PlainText);
    QPushButton* ok = alert->addButton(QStringLiteral("OK"), QMessageBox::RejectRole);
    alert->setDefaultButton(ok);
    alert->setEscapeButton(ok);
    connect(alert, &QMessageBox::finished, this, [this] { fileSelectionErrorMessage_.reset(); });
    fileSelectionAlert_ = alert;
    alert->open();
}

}  // namespace lanternwick
