#include "app/ActivityWindow.h"

#include <algorithm>

#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QItemSelectionModel>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QSortFilterProxyModel>
#include <QSplitter>
#include <QTableView>
#include <QVBoxLayout>

#include "app/ActivityModel.h"
#include "app/LanternwickWindow.h"
#include "app/Theme.h"

namespace lanternwick {
namespace {

constexpr int rowHeight = 20;

QString windowStyleSheet() {
    return QStringLiteral(
        "QLineEdit { background: rgba(255,255,255,0.06); color: rgba(255,255,255,0.85);"
        " border: 1px solid rgba(255,255,255,0.16); border-radius: 5px; padding: 3px 6px;"
        " selection-background-color: rgb(10,132,255); }"
        "QLineEdit:focus { border: 1px solid rgba(10,132,255,0.9); }"
        "QTableView, QPlainTextEdit { background: rgb(30,30,30); alternate-background-color: rgb(36,36,38);"
        " color: rgba(255,255,255,0.85);"
        " border: 1px solid rgba(255,255,255,0.1); border-radius: 6px;"
        " selection-background-color: rgb(10,132,255); selection-color: white; }"
        "QTableView { gridline-color: transparent; }"
        "QHeaderView::section { background: rgb(36,36,38); color: rgba(255,255,255,0.55); border: none;"
        " border-bottom: 1px solid rgba(255,255,255,0.1); padding: 3px 6px; }"
        "QSplitter::handle { background: transparent; }");
}

QPalette darkPalette(QPalette palette) {
    palette.setColor(QPalette::Window, theme::background());
    palette.setColor(QPalette::WindowText, theme::primaryText());
    palette.setColor(QPalette::Text, theme::primaryText());
    palette.setColor(QPalette::Base, theme::textBackground());
    palette.setColor(QPalette::AlternateBase, QColor(36, 36, 38));
    palette.setColor(QPalette::PlaceholderText, theme::withOpacity(Qt::white, 0.3));
    palette.setColor(QPalette::Highlight, theme::accent());
    palette.setColor(QPalette::HighlightedText, Qt::white);
    return palette;
}

}  // namespace

ActivityWindow::ActivityWindow(std::shared_ptr<LightingFileMonitor> monitor, QWidget* parent)
    : QWidget(parent, Qt::Window),
      model_(new ActivityModel(std::move(monitor), this)),
      filtered_(new QSortFilterProxyModel(this)),
      filterField_(new QLineEdit(this)),
      count_(new QLabel(this)),
      watchNote_(new QLabel(this)),
      table_(new QTableView(this)),
      details_(new QPlainTextEdit(this)) {
    setObjectName(QStringLiteral("activityWindow"));
    setWindowTitle(QStringLiteral("Lanternwick Activity"));
    setAutoFillBackground(true);
    setPalette(darkPalette(palette()));
    setFont(theme::bodyFont());
    setStyleSheet(windowStyleSheet());
    resize(fittingSize(QSize(780, 500), QSize(360, 240), parent ? parent->screen() : screen()));

    filtered_->setSourceModel(model_);
    filtered_->setFilterRole(ActivityModel::searchTextRole);
    filtered_->setFilterCaseSensitivity(Qt::CaseInsensitive);

    filterField_->setObjectName(QStringLiteral("activityFilter"));
    filterField_->setPlaceholderText(QStringLiteral("Filter: a cue, a kind, a reason\u2026"));
    filterField_->setClearButtonEnabled(true);
    count_->setObjectName(QStringLiteral("activityCount"));
    count_->setFont(theme::captionFont());
    QPalette countPalette = count_->palette();
    countPalette.setColor(QPalette::WindowText, theme::secondaryText());
    count_->setPalette(countPalette);

    watchNote_->setObjectName(QStringLiteral("activityWatchNote"));
    watchNote_->setFont(theme::captionFont());
    watchNote_->setPalette(countPalette);
    watchNote_->setWordWrap(true);
    watchNote_->setTextInteractionFlags(Qt::TextSelectableByMouse);

    table_->setObjectName(QStringLiteral("activityTable"));
    table_->setModel(filtered_);
    table_->setSelectionBehavior(QAbstractItemView::SelectRows);
    table_->setSelectionMode(QAbstractItemView::ExtendedSelection);
    table_->setShowGrid(false);
    table_->setAlternatingRowColors(true);
    table_->setWordWrap(false);
    table_->setTextElideMode(Qt::ElideRight);
    table_->verticalHeader()->hide();
    table_->verticalHeader()->setDefaultSectionSize(rowHeight);
    table_->horizontalHeader()->setHighlightSections(false);
    table_->horizontalHeader()->setSectionResizeMode(ActivityModel::timeColumn, QHeaderView::ResizeToContents);
    table_->horizontalHeader()->setSectionResizeMode(ActivityModel::kindColumn, QHeaderView::ResizeToContents);
    table_->horizontalHeader()->setSectionResizeMode(ActivityModel::summaryColumn, QHeaderView::Stretch);
    table_->horizontalHeader()->setDefaultAlignment(Qt::AlignLeft | Qt::AlignVCenter);

    auto* copy = new QAction(QStringLiteral("Copy"), table_);
    copy->setObjectName(QStringLiteral("copyActivity"));
    copy->setShortcut(QKeySequence::Copy);
    copy->setShortcutContext(Qt::WidgetWithChildrenShortcut);
    table_->addAction(copy);
    table_->setContextMenuPolicy(Qt::ActionsContextMenu);
    table_->installEventFilter(this);
    connect(copy, &QAction::triggered, this, &ActivityWindow::copySelection);

    auto* find = new QAction(this);
    find->setShortcut(QKeySequence::Find);
    addAction(find);
    connect(find, &QAction::triggered, filterField_, [this] {
        filterField_->setFocus(Qt::ShortcutFocusReason);
        filterField_->selectAll();
    });

    details_->setObjectName(QStringLiteral("activityDetails"));
    details_->setReadOnly(true);
    details_->setFont(theme::monospacedCalloutFont());
    details_->setPlaceholderText(QStringLiteral("Select a row to see its details."));

    auto* top = new QHBoxLayout;
    top->setSpacing(10);
    top->addWidget(filterField_, 1);
    top->addWidget(count_);
    auto* splitter = new QSplitter(Qt::Vertical, this);
    splitter->addWidget(table_);
    splitter->addWidget(details_);
    splitter->setStretchFactor(0, 3);
    splitter->setStretchFactor(1, 1);
    splitter->setChildrenCollapsible(false);
    auto* column = new QVBoxLayout(this);
    column->setContentsMargins(12, 12, 12, 12);
    column->setSpacing(8);
    column->addLayout(top);
    column->addWidget(watchNote_);
    column->addWidget(splitter, 1);

    connect(filterField_, &QLineEdit::textChanged, filtered_, &QSortFilterProxyModel::setFilterFixedString);
    connect(table_->selectionModel(), &QItemSelectionModel::currentRowChanged, this,
            &ActivityWindow::showDetailsOfCurrentRow);
    for (const auto signal : {&QAbstractItemModel::rowsInserted, &QAbstractItemModel::rowsRemoved}) {
        connect(filtered_, signal, this, &ActivityWindow::updateCount);
    }
    connect(filtered_, &QAbstractItemModel::modelReset, this, &ActivityWindow::updateCount);
    connect(filtered_, &QAbstractItemModel::layoutChanged, this, &ActivityWindow::updateCount);
    updateCount();
    connect(model_, &ActivityModel::fileWatchNoteChanged, this, &ActivityWindow::showWatchNote);
    showWatchNote(model_->fileWatchNote());
}

QString ActivityWindow::selectionText() const {
    std::vector<int> shownRows;
    for (const QModelIndex& index : table_->selectionModel()->selectedRows()) shownRows.push_back(index.row());
    std::sort(shownRows.begin(), shownRows.end());
    std::vector<int> rows;
    for (const int row : shownRows) rows.push_back(filtered_->mapToSource(filtered_->index(row, 0)).row());
    return model_->rowsAsText(rows);
}

// The table would copy only the text of its current cell.
bool ActivityWindow::eventFilter(QObject* watched, QEvent* event) {
    if (watched == table_ && event->type() == QEvent::KeyPress &&
        static_cast<QKeyEvent*>(event)->matches(QKeySequence::Copy)) {
        copySelection();
        return true;
    }
    return QWidget::eventFilter(watched, event);
}

void ActivityWindow::copySelection() const {
    const QString text = selectionText();
    if (!text.isEmpty()) QApplication::clipboard()->setText(text);
}

void ActivityWindow::showDetailsOfCurrentRow() {
    const QModelIndex current = filtered_->mapToSource(table_->selectionModel()->currentIndex());
    if (!current.isValid()) {
        details_->clear();
        return;
    }
    const ActivityEntry& entry = model_->entry(current.row());
    details_->setPlainText(entry.kind + QStringLiteral(" \u00b7 ") + activityFullTimeText(entry.timestamp) + u'\n' +
                           entry.summary + QStringLiteral("\n\n") + entry.details);
}

void ActivityWindow::updateCount() {
    const int shown = filtered_->rowCount();
    const int all = model_->rowCount();
    count_->setText(shown == all ? QString::number(all) + QStringLiteral(" records")
                                 : QString::number(shown) + QStringLiteral(" of ") + QString::number(all));
}

void ActivityWindow::showWatchNote(const QString& note) {
    watchNote_->setText(note);
    watchNote_->setVisible(!note.isEmpty());
}

}  // namespace lanternwick
