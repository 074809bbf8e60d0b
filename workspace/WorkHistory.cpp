// The statement history GrdHistory: newest first, at most 50 entries, in memory only.
#include "workspace/Work.h"

#include "ui/ErrorHandler.h"
#include "workspace/HistoryDialog.h"

#include <QAction>
#include <QHeaderView>
#include <QHelpEvent>
#include <QMenu>
#include <QMouseEvent>
#include <QStyle>
#include <QTableWidget>
#include <QToolTip>

namespace {

constexpr int MaxHistoryRows = 50;
constexpr int CountColumn = 0;
constexpr int TextColumn = 1;

QString CellText(const QTableWidget* grid, int row, int column) {
    const QTableWidgetItem* item = grid->item(row, column);
    return item ? item->text() : QString();
}

} // namespace

void TFrameWork::CreateHistory() {
    GrdHistory = new QTableWidget(1, 2, PnlRightHistory);
    GrdHistory->setObjectName(QStringLiteral("GrdHistory"));
    GrdHistory->setAccessibleName(QStringLiteral("Historie"));
    GrdHistory->horizontalHeader()->hide();
    GrdHistory->verticalHeader()->hide();
    GrdHistory->verticalHeader()->setDefaultSectionSize(16);
    GrdHistory->verticalHeader()->setMinimumSectionSize(8);
    GrdHistory->horizontalHeader()->setDefaultSectionSize(40);
    GrdHistory->setEditTriggers(QAbstractItemView::NoEditTriggers);
    GrdHistory->setSelectionBehavior(QAbstractItemView::SelectItems);
    GrdHistory->setSelectionMode(QAbstractItemView::ContiguousSelection);
    GrdHistory->setWordWrap(false);
    GrdHistory->setTextElideMode(Qt::ElideRight);
    GrdHistory->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    GrdHistory->setContextMenuPolicy(Qt::CustomContextMenu);
    GrdHistory->viewport()->setMouseTracking(true);
    GrdHistory->viewport()->installEventFilter(this);
    // Queued: the grid takes the focus back while it finishes the click.
    connect(
        GrdHistory, &QTableWidget::cellDoubleClicked, this,
        [this] { RunGuarded([this] { GrdHistoryDblClick(); }); }, Qt::QueuedConnection);
    connect(GrdHistory, &QWidget::customContextMenuRequested, this, &TFrameWork::PopMnuHistoryPopup);

    PopMnuHistory = new QMenu(this);
    PopMnuHistory->setObjectName(QStringLiteral("PopMnuHistory"));
    PopMnuHistoryInsert = PopMnuHistory->addAction(QStringLiteral("In SQL &hinzufügen"));
    PopMnuHistoryInsert->setObjectName(QStringLiteral("PopMnuHistoryInsert"));
    PopMnuHistoryExecute = PopMnuHistory->addAction(QStringLiteral("&Ausführen"));
    PopMnuHistoryExecute->setObjectName(QStringLiteral("PopMnuHistoryExecute"));
    connect(PopMnuHistoryInsert, &QAction::triggered, this,
            [this] { RunGuarded([this] { PopMnuHistoryInsertClick(); }); });
    connect(PopMnuHistoryExecute, &QAction::triggered, this,
            [this] { RunGuarded([this] { PopMnuHistoryExecuteClick(); }); });
}

void TFrameWork::AddHistory(qint64 count, const QString& text) {
    RecordInHistory(DatabaseName(), count, text, m_startTime.elapsed());
    ShiftHistory();
    auto* countItem = new QTableWidgetItem(QString::number(count));
    // The count column is a fixed column: drawn like a header and never selected.
    countItem->setFlags(Qt::ItemIsEnabled);
    countItem->setBackground(GrdHistory->palette().button());
    countItem->setTextAlignment(Qt::AlignRight | Qt::AlignVCenter);
    GrdHistory->setItem(0, CountColumn, countItem);
    auto* textItem = new QTableWidgetItem(text);
    textItem->setFlags(Qt::ItemIsEnabled | Qt::ItemIsSelectable);
    GrdHistory->setItem(0, TextColumn, textItem);
    FitHistoryColumns();
}

void TFrameWork::ShiftHistory() {
    // Moving every row's cells one row down is moving the rows: the grid grows until it has
    // 50 rows (the first entry fills the initial empty row), then the oldest drops out.
    const bool grow =
        GrdHistory->rowCount() < MaxHistoryRows && !CellText(GrdHistory, 0, CountColumn).isEmpty();
    if (!grow)
        GrdHistory->removeRow(GrdHistory->rowCount() - 1);
    GrdHistory->insertRow(0);
}

void TFrameWork::FitHistoryColumns() {
    const QFontMetrics metrics(GrdHistory->font());
    int width = 5;
    for (int row = 0; row < GrdHistory->rowCount(); ++row)
        width = qMax(width, metrics.horizontalAdvance(CellText(GrdHistory, row, CountColumn)));
    // The cell's own margins come on top, or the count would be cut off.
    const int margin =
        2 * (GrdHistory->style()->pixelMetric(QStyle::PM_FocusFrameHMargin, nullptr, GrdHistory) + 1);
    const int countWidth = width + 4 + margin;
    GrdHistory->setColumnWidth(CountColumn, countWidth);
    // The statement column ends at the viewport's edge, inside the frame and left of a
    // vertical scroll bar: wider, a click on it would scroll the counts out of sight.
    GrdHistory->setColumnWidth(TextColumn, qMax(0, GrdHistory->viewport()->width() - countWidth));
}

QString TFrameWork::FirstSelectedHistoryText() const {
    int first = -1;
    for (const QModelIndex& index : GrdHistory->selectionModel()->selectedIndexes())
        if (first < 0 || index.row() < first)
            first = index.row();
    if (first < 0)
        first = qMax(0, GrdHistory->currentRow());
    return CellText(GrdHistory, first, TextColumn);
}

void TFrameWork::GrdHistoryDblClick() {
    InsertIntoSql(FirstSelectedHistoryText());
}

void TFrameWork::GrdHistoryMouseMove(const QPoint& position) {
    const QModelIndex index = GrdHistory->indexAt(position);
    const QString hint = index.isValid() && index.column() == TextColumn
                             ? CellText(GrdHistory, index.row(), TextColumn)
                             : QString();
    GrdHistory->setToolTip(hint);
    if (hint.isEmpty())
        QToolTip::hideText();
    else
        QToolTip::showText(GrdHistory->viewport()->mapToGlobal(position), hint, GrdHistory->viewport());
}

void TFrameWork::PopMnuHistoryPopup(const QPoint& position) {
    const QModelIndex index = GrdHistory->indexAt(position);
    if (index.isValid()) {
        GrdHistory->clearSelection();
        GrdHistory->setCurrentCell(index.row(), TextColumn, QItemSelectionModel::ClearAndSelect);
    }
    PopMnuHistory->popup(GrdHistory->viewport()->mapToGlobal(position));
}

void TFrameWork::PopMnuHistoryInsertClick() {
    GrdHistoryDblClick();
}

void TFrameWork::PopMnuHistoryExecuteClick() {
    ExecuteSql(FirstSelectedHistoryText());
}
