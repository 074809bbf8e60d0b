// The result grid's commands: its context menu with the copy commands, the field jump
// list, and posting the record buffer before a result goes.
#include "workspace/Work.h"

#include "data/Query.h"
#include "settings/Error.h"
#include "settings/Tools.h"
#include "ui/ErrorHandler.h"
#include "workspace/GridFreeze.h"
#include "workspace/ResultGrid.h"
#include "workspace/ResultModel.h"

#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QComboBox>
#include <QHeaderView>
#include <QItemSelection>
#include <QMenu>
#include <QSet>

namespace {

const QString CrLf = QStringLiteral("\r\n");
const QString Tab = QStringLiteral("\t");
const QString FieldValueSeparator = QStringLiteral(" = ");

// Trims characters up to U+0020 at both ends, as the cell copy does.
QString TrimControl(const QString& text) {
    qsizetype from = 0;
    qsizetype to = text.size();
    while (from < to && text.at(from).unicode() <= 0x20)
        ++from;
    while (to > from && text.at(to - 1).unicode() <= 0x20)
        --to;
    return text.mid(from, to - from);
}

} // namespace

void TFrameWork::CreateGridMenu() {
    PopMnuGrd = new QMenu(this);
    PopMnuGrd->setObjectName(QStringLiteral("PopMnuGrd"));
    auto add = [this](const char* name, const char* caption, const QKeySequence& key,
                      std::function<void()> handler) {
        QAction* action = PopMnuGrd->addAction(QString::fromUtf8(caption));
        action->setObjectName(QLatin1String(name));
        action->setShortcut(key);
        // The shortcuts act while the grid has the focus, nowhere else.
        action->setShortcutContext(Qt::WidgetShortcut);
        GrdResults->addAction(action);
        connect(action, &QAction::triggered, this, [handler = std::move(handler)] { RunGuarded(handler); });
        return action;
    };
    MnuPopGrdCopyCell = add("MnuPopGrdCopyCell", "&Zelle kopieren", QKeySequence(Qt::CTRL | Qt::Key_C),
                            [this] { MnuPopGrdCopyCellClick(); });
    MnuPopGrdCopyRow = add("MnuPopGrdCopyRow", "Zei&le kopieren", QKeySequence(Qt::CTRL | Qt::ALT | Qt::Key_C),
                           [this] { MnuPopGrdCopyRowClick(); });
    MnuPopGrdCopyColumn =
        add("MnuPopGrdCopyColumn", "&Spalte kopieren", QKeySequence(Qt::ALT | Qt::SHIFT | Qt::Key_C),
            [this] { MnuPopGrdCopyAllClick(false); });
    MnuPopGrdCopyAll =
        add("MnuPopGrdCopyAll", "&Alles kopieren", QKeySequence(Qt::CTRL | Qt::ALT | Qt::SHIFT | Qt::Key_C),
            [this] { MnuPopGrdCopyAllClick(true); });
    PopMnuGrd->addSeparator();
    MnuPopGrdWithFields =
        add("MnuPopGrdWithFields", "&Mit Feldnamen", {}, [this] { MnuPopGrdWithFieldsClick(); });
    MnuPopGrdWithFields->setCheckable(true);
    MnuPopGrdWithFields->setChecked(false);
    PopMnuGrd->addSeparator();
    MnuPopGrdCopyFieldname =
        add("MnuPopGrdCopyFieldname", "&Feldname kopieren", {}, [this] { MnuPopGrdCopyFieldnameClick(); });
    AddExportToGridMenu();
    GrdResults->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(GrdResults, &QWidget::customContextMenuRequested, this, [this](const QPoint& position) {
        PopMnuGrd->popup(GrdResults->viewport()->mapToGlobal(position));
    });
}

bool TFrameWork::HasResult() const {
    return Qry->Active() && Dsr->Recordset() == Qry;
}

void TFrameWork::MnuPopGrdWithFieldsClick() {
    // Nothing more to do: the checkable action has toggled its check mark before this runs,
    // and the copy commands read it.
}

QString TFrameWork::GridCellText(qint64 row, int column) const {
    // The whole value: a cell shows only its first few thousand characters.
    return Dsr->data(Dsr->index(int(row), column), Qt::EditRole).toString();
}

QList<int> TFrameWork::VisibleColumns() const {
    QList<int> columns;
    const QHeaderView* header = GrdResults->horizontalHeader();
    for (int visual = 0; visual < header->count(); ++visual) {
        const int logical = header->logicalIndex(visual);
        if (!header->isSectionHidden(logical))
            columns.append(logical);
    }
    return columns;
}

QString TFrameWork::FieldNamesLine() const {
    if (!Qry->Active())
        return {};
    QStringList names;
    for (int i = 0; i < Qry->Fields().Count(); ++i)
        names.append(Qry->Fields()[i].Name());
    return names.join(Tab);
}

QString TFrameWork::RowLine() const {
    const int row = GrdResults->currentIndex().row();
    if (row < 0)
        return {};
    QStringList values;
    for (int column : VisibleColumns())
        values.append(GridCellText(row, column));
    return values.join(Tab);
}

void TFrameWork::MnuPopGrdCopyCellClick() {
    const QModelIndex current = GrdResults->currentIndex();
    if (!HasResult() || !current.isValid())
        return;
    const QItemSelection selection = GrdResults->selectionModel()->selection();
    qint64 cells = 0;
    for (const QItemSelectionRange& range : selection)
        cells += qint64(range.height()) * range.width();
    if (cells > 1)
        QApplication::clipboard()->setText(SelectedBlockText(selection));
    else
        QApplication::clipboard()->setText(TrimControl(GridCellText(current.row(), current.column())));
}

QString TFrameWork::SelectedBlockText(const QItemSelection& selection) const {
    // The rows and the shown columns that hold a selected cell, in their order; a cell of
    // the block that is not selected itself stays empty.
    QList<QPair<int, int>> rows;
    QSet<int> selectedColumns;
    for (const QItemSelectionRange& range : selection) {
        rows.append({range.top(), range.bottom()});
        for (int column = range.left(); column <= range.right(); ++column)
            selectedColumns.insert(column);
    }
    std::sort(rows.begin(), rows.end());
    QList<int> columns = VisibleColumns();
    columns.removeIf([&selectedColumns](int column) { return !selectedColumns.contains(column); });
    const TGridFreeze freeze(GrdResults);
    const int editRow = Dsr->EditRow();
    QString text;
    if (MnuPopGrdWithFields->isChecked()) {
        QStringList names;
        for (int column : columns)
            names.append(Qry->Fields()[column].Name());
        text = names.join(Tab);
    }
    bool first = !MnuPopGrdWithFields->isChecked();
    int next = 0; // the first row not yet copied: ranges of rows may overlap
    for (const auto& [top, bottom] : rows) {
        for (int row = qMax(top, next); row <= bottom; ++row) {
            if (!first)
                text += CrLf;
            first = false;
            bool firstColumn = true;
            for (int column : columns) {
                if (!firstColumn)
                    text += Tab;
                firstColumn = false;
                if (!selection.contains(Dsr->index(row, column)))
                    continue;
                if (row == editRow)
                    text += GridCellText(row, column);
                else
                    Qry->AppendText(text, row, column);
            }
        }
        next = qMax(next, bottom + 1);
    }
    return text;
}

void TFrameWork::MnuPopGrdCopyRowClick() {
    if (!HasResult() || !GrdResults->currentIndex().isValid())
        return;
    QApplication::clipboard()->setText(RowLine());
}

void TFrameWork::MnuPopGrdCopyFieldnameClick() {
    const int column = GrdResults->currentIndex().column();
    if (!HasResult() || column < 0)
        return;
    QApplication::clipboard()->setText(Qry->Fields()[column].Name());
}

void TFrameWork::MnuPopGrdCopyAllClick(bool all) {
    if (!HasResult())
        return;
    // A copy of rows still arriving would be cut at some row nobody chose.
    if (Qry->Fetching())
        throw TError(QStringLiteral("Spalten und das ganze Ergebnis lassen sich erst kopieren, wenn alle "
                                    "Datensätze gelesen sind. Warten Sie das Ende ab oder brechen Sie die "
                                    "Abfrage ab."));
    const int column = qMax(0, GrdResults->currentIndex().column());
    if (!all && column >= Qry->Fields().Count())
        return;
    const TGridFreeze freeze(GrdResults);
    const QList<int> columns = all ? VisibleColumns() : QList<int>{column};
    const qint64 rows = Dsr->rowCount();
    const int editRow = Dsr->EditRow();
    QString text;
    if (MnuPopGrdWithFields->isChecked())
        text = all ? FieldNamesLine() : Qry->Fields()[column].Name();
    bool first = !MnuPopGrdWithFields->isChecked();
    for (qint64 row = 0; row < rows; ++row) {
        // The first rows tell how long the text will be; one allocation then holds it.
        if (row == 1000 && rows > 2000)
            text.reserve(qsizetype(double(text.size()) / row * rows * 1.05));
        if (!first)
            text += CrLf;
        first = false;
        bool firstColumn = true;
        for (int c : columns) {
            if (!firstColumn)
                text += Tab;
            firstColumn = false;
            if (row == editRow)
                text += GridCellText(row, c);
            else
                Qry->AppendText(text, row, c);
        }
    }
    QApplication::clipboard()->setText(text);
}

void TFrameWork::FillFieldList() {
    CbxFieldsSorted->clear();
    if (!HasResult())
        return;
    const int row = qMax(0, GrdResults->currentIndex().row());
    const bool hasRecords = Dsr->rowCount() > 0;
    QStringList items;
    for (int i = 0; i < Qry->Fields().Count(); ++i) {
        QString item = Qry->Fields()[i].Name();
        if (hasRecords)
            item += FieldValueSeparator + Dsr->index(row, i).data().toString().left(10);
        items.append(item);
    }
    std::sort(items.begin(), items.end(),
              [](const QString& a, const QString& b) { return a.compare(b, Qt::CaseInsensitive) < 0; });
    CbxFieldsSorted->addItems(items);
    CbxFieldsSorted->setMaxVisibleItems(int(TTools::Min(items.size(), 50)));
    CbxFieldsSorted->setCurrentIndex(-1);
}

void TFrameWork::CbxFieldsDropDown() {
    FillFieldList();
}

void TFrameWork::CbxFieldsCloseUp() {
    const QString item = CbxFieldsSorted->currentText();
    if (CbxFieldsSorted->currentIndex() < 0 || item.isEmpty())
        return;
    const qsizetype separator = item.indexOf(FieldValueSeparator);
    const QString name = separator < 0 ? item : item.left(separator).trimmed();
    const int column = Qry->FieldByName(name).Index();
    const int row = qMax(0, GrdResults->currentIndex().row());
    GrdResults->setCurrentIndex(Dsr->index(row, column));
    GrdResults->scrollTo(Dsr->index(row, column));
    GrdResults->setFocus();
}

void TFrameWork::PostGridEdits() {
    GrdResults->PostEdit();
    Dsr->PostRecord();
}
