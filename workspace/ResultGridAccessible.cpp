#include "workspace/ResultGridAccessible.h"

#include "workspace/ResultGrid.h"

#include <QAccessible>
#include <QAccessibleWidget>
#include <QHeaderView>
#include <QItemSelectionModel>
#include <QPointer>

namespace {

// Lists of selected cells, rows or columns stop here: selecting a column of fifty million
// rows must not build a list of them.
constexpr int MaxListed = 10000;

class TTableAccessible;

// One cell, made when asked for and kept until the result changes.
class TCellAccessible : public QAccessibleInterface, public QAccessibleTableCellInterface {
public:
    TCellAccessible(TResultGrid* grid, int row, int column)
        : m_grid(grid)
        , m_row(row)
        , m_column(column) {}

    bool isValid() const override {
        return m_grid && m_grid->model() && m_row < m_grid->model()->rowCount() &&
               m_column < m_grid->model()->columnCount();
    }
    QObject* object() const override { return nullptr; }
    QAccessibleInterface* parent() const override { return QAccessible::queryAccessibleInterface(m_grid); }
    QAccessibleInterface* child(int) const override { return nullptr; }
    int childCount() const override { return 0; }
    int indexOfChild(const QAccessibleInterface*) const override { return -1; }
    QAccessibleInterface* childAt(int, int) const override { return nullptr; }
    QAccessible::Role role() const override { return QAccessible::Cell; }
    QString text(QAccessible::Text t) const override {
        if (!isValid())
            return {};
        const QModelIndex index = m_grid->model()->index(m_row, m_column);
        if (t == QAccessible::Name || t == QAccessible::Value)
            return index.data(Qt::DisplayRole).toString();
        if (t == QAccessible::Description)
            return index.data(Qt::ToolTipRole).toString();
        return {};
    }
    // A cell's value changes only through the cell editor, which holds it in the record
    // buffer until it is posted; a text set from outside would bypass both, so none is taken.
    void setText(QAccessible::Text, const QString&) override {} // read-only: see above
    QRect rect() const override {
        if (!isValid())
            return {};
        const QRect cell = m_grid->visualRect(m_grid->model()->index(m_row, m_column));
        return QRect(m_grid->viewport()->mapToGlobal(cell.topLeft()), cell.size());
    }
    QAccessible::State state() const override {
        QAccessible::State state;
        state.selectable = true;
        state.focusable = true;
        state.selected = isSelected();
        state.focused = m_grid && m_grid->hasFocus() && m_grid->currentIndex().row() == m_row &&
                        m_grid->currentIndex().column() == m_column;
        state.invisible = rect().isEmpty();
        return state;
    }
    void* interface_cast(QAccessible::InterfaceType type) override {
        return type == QAccessible::TableCellInterface ? static_cast<QAccessibleTableCellInterface*>(this)
                                                       : nullptr;
    }

    bool isSelected() const override {
        return isValid() && m_grid->selectionModel()->isSelected(m_grid->model()->index(m_row, m_column));
    }
    QList<QAccessibleInterface*> columnHeaderCells() const override { return {}; }
    QList<QAccessibleInterface*> rowHeaderCells() const override { return {}; }
    int columnIndex() const override { return m_column; }
    int rowIndex() const override { return m_row; }
    int columnExtent() const override { return 1; }
    int rowExtent() const override { return 1; }
    QAccessibleInterface* table() const override { return parent(); }

private:
    QPointer<TResultGrid> m_grid;
    int m_row;
    int m_column;
};

class TTableAccessible : public QAccessibleWidget, public QAccessibleTableInterface {
public:
    explicit TTableAccessible(TResultGrid* grid)
        : QAccessibleWidget(grid, QAccessible::Table) {}
    ~TTableAccessible() override { DropCells(); }

    TResultGrid* Grid() const { return static_cast<TResultGrid*>(widget()); }
    const QAbstractItemModel* Model() const { return Grid()->model(); }
    int Rows() const { return Model() ? Model()->rowCount() : 0; }
    int Columns() const { return Model() ? Model()->columnCount() : 0; }

    void* interface_cast(QAccessible::InterfaceType type) override {
        if (type == QAccessible::TableInterface)
            return static_cast<QAccessibleTableInterface*>(this);
        return QAccessibleWidget::interface_cast(type);
    }

    // The children are the cells on screen.
    int OnScreenRows() const {
        return qMax(0, qMin(Rows() - Grid()->TopRow(), Grid()->viewport()->height() / Grid()->RowHeight() + 1));
    }
    int childCount() const override { return Columns() == 0 ? 0 : OnScreenRows() * Columns(); }
    QAccessibleInterface* child(int index) const override {
        if (index < 0 || index >= childCount())
            return nullptr;
        return cellAt(Grid()->TopRow() + index / Columns(), index % Columns());
    }
    int indexOfChild(const QAccessibleInterface* child) const override {
        const QAccessibleTableCellInterface* cell =
            const_cast<QAccessibleInterface*>(child)->tableCellInterface();
        if (!cell)
            return -1;
        const int row = cell->rowIndex() - Grid()->TopRow();
        return row < 0 || row >= OnScreenRows() ? -1 : row * Columns() + cell->columnIndex();
    }
    QAccessibleInterface* childAt(int x, int y) const override {
        const QModelIndex index = Grid()->indexAt(Grid()->viewport()->mapFromGlobal(QPoint(x, y)));
        return index.isValid() ? cellAt(index.row(), index.column()) : nullptr;
    }
    QAccessibleInterface* focusChild() const override {
        const QModelIndex current = Grid()->currentIndex();
        return current.isValid() ? cellAt(current.row(), current.column()) : nullptr;
    }

    QAccessibleInterface* caption() const override { return nullptr; }
    QAccessibleInterface* summary() const override { return nullptr; }
    QAccessibleInterface* cellAt(int row, int column) const override {
        if (row < 0 || column < 0 || row >= Rows() || column >= Columns())
            return nullptr;
        const quint64 key = (quint64(row) << 32) | quint32(column);
        if (const auto it = m_cells.constFind(key); it != m_cells.constEnd())
            return QAccessible::accessibleInterface(*it);
        auto* cell = new TCellAccessible(Grid(), row, column);
        m_cells.insert(key, QAccessible::registerAccessibleInterface(cell));
        return cell;
    }
    QString columnDescription(int column) const override {
        return Model() ? Model()->headerData(column, Qt::Horizontal).toString() : QString();
    }
    QString rowDescription(int row) const override { return QString::number(row + 1); }
    int columnCount() const override { return Columns(); }
    int rowCount() const override { return Rows(); }

    int selectedCellCount() const override {
        qint64 cells = 0;
        for (const QItemSelectionRange& range : Grid()->selectionModel()->selection())
            cells += qint64(range.width()) * range.height();
        return int(qMin<qint64>(cells, std::numeric_limits<int>::max()));
    }
    QList<QAccessibleInterface*> selectedCells() const override {
        QList<QAccessibleInterface*> cells;
        for (const QItemSelectionRange& range : Grid()->selectionModel()->selection())
            for (int row = range.top(); row <= range.bottom() && cells.size() < MaxListed; ++row)
                for (int column = range.left(); column <= range.right() && cells.size() < MaxListed; ++column)
                    cells.append(cellAt(row, column));
        return cells;
    }
    // Whole rows and columns stay one range each in this grid.
    QList<int> selectedColumns() const override {
        QList<int> columns;
        for (const QItemSelectionRange& range : Grid()->selectionModel()->selection())
            if (range.top() == 0 && range.bottom() == Rows() - 1)
                for (int column = range.left(); column <= range.right(); ++column)
                    columns.append(column);
        return columns;
    }
    QList<int> selectedRows() const override {
        QList<int> rows;
        for (const QItemSelectionRange& range : Grid()->selectionModel()->selection())
            if (range.left() == 0 && range.right() == Columns() - 1)
                for (int row = range.top(); row <= range.bottom() && rows.size() < MaxListed; ++row)
                    rows.append(row);
        return rows;
    }
    int selectedColumnCount() const override { return int(selectedColumns().size()); }
    int selectedRowCount() const override {
        qint64 rows = 0;
        for (const QItemSelectionRange& range : Grid()->selectionModel()->selection())
            if (range.left() == 0 && range.right() == Columns() - 1)
                rows += range.height();
        return int(qMin<qint64>(rows, std::numeric_limits<int>::max()));
    }
    bool isColumnSelected(int column) const override { return selectedColumns().contains(column); }
    bool isRowSelected(int row) const override {
        for (const QItemSelectionRange& range : Grid()->selectionModel()->selection())
            if (range.left() == 0 && range.right() == Columns() - 1 && range.top() <= row && row <= range.bottom())
                return true;
        return false;
    }
    bool selectRow(int row) override { return Select(row, row, 0, Columns() - 1, QItemSelectionModel::Select); }
    bool selectColumn(int column) override {
        return Select(0, Rows() - 1, column, column, QItemSelectionModel::Select);
    }
    bool unselectRow(int row) override { return Select(row, row, 0, Columns() - 1, QItemSelectionModel::Deselect); }
    bool unselectColumn(int column) override {
        return Select(0, Rows() - 1, column, column, QItemSelectionModel::Deselect);
    }
    void modelChange(QAccessibleTableModelChangeEvent*) override { DropCells(); }

private:
    bool Select(int top, int bottom, int left, int right, QItemSelectionModel::SelectionFlag how) {
        if (top < 0 || left < 0 || bottom >= Rows() || right >= Columns())
            return false;
        Grid()->selectionModel()->select(
            QItemSelection(Model()->index(top, left), Model()->index(bottom, right)), how);
        return true;
    }
    void DropCells() {
        for (const QAccessible::Id id : std::as_const(m_cells))
            QAccessible::deleteAccessibleInterface(id);
        m_cells.clear();
    }

    mutable QHash<quint64, QAccessible::Id> m_cells;
};

} // namespace

namespace ResultGridAccessible {

QAccessibleInterface* Factory(const QString&, QObject* object) {
    if (auto* grid = qobject_cast<TResultGrid*>(object))
        return new TTableAccessible(grid);
    return nullptr;
}

void NotifyCurrentCell(TResultGrid* grid, const QModelIndex& current) {
    if (!QAccessible::isActive() || !current.isValid() || !grid->hasFocus())
        return;
    QAccessibleInterface* table = QAccessible::queryAccessibleInterface(grid);
    const int child = table ? table->indexOfChild(table->tableInterface()->cellAt(current.row(), current.column())) : -1;
    QAccessibleEvent event(grid, QAccessible::Focus);
    event.setChild(child);
    QAccessible::updateAccessibility(&event);
}

} // namespace ResultGridAccessible
