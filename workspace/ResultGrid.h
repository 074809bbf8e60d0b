#pragma once

#include <QAbstractItemView>

class QHeaderView;
class TResultModel;
class TRowIndicator;

// The data grid GrdResults: bold titles, a narrow row indicator, rows of fixed height, and
// the record buffer's rules: leaving a record posts it (a failed post keeps the user on it),
// Escape puts it back, Insert and Ctrl+Del ask for a new or a deleted record.
// The view keeps nothing per row: every row has the same height, so positions are computed,
// the vertical scroll bar counts rows, and the row indicator paints only the rows on screen.
// Only the columns have a header of their own. GUI thread.
class TResultGrid : public QAbstractItemView {
    Q_OBJECT
public:
    explicit TResultGrid(QWidget* parent);
    ~TResultGrid() override;

    void setModel(QAbstractItemModel* model) override;
    TResultModel* ResultModel() const;
    QHeaderView* horizontalHeader() const { return m_header; }
    int columnWidth(int column) const;
    void setColumnWidth(int column, int width);
    int RowHeight() const { return m_rowHeight; }
    // The first row on screen.
    int TopRow() const;
    // Rows that fit on screen without being cut.
    int FullRows() const;
    // Writes the value of an open cell editor into the record buffer and closes it.
    void PostEdit();
    // Closes an open cell editor without writing.
    void CancelEdit();
    // Pixels of a column `characters` wide in the grid's font.
    int PixelsOf(int characters) const;
    // Characters of a column of `pixels` width (at least 1).
    int CharactersOf(int pixels) const;

    QRect visualRect(const QModelIndex& index) const override;
    void scrollTo(const QModelIndex& index, ScrollHint hint = EnsureVisible) override;
    QModelIndex indexAt(const QPoint& point) const override;
    int sizeHintForColumn(int column) const override;
    void keyboardSearch(const QString&) override {} // nothing: type-ahead over millions of rows would stall

signals:
    void InsertRequested();
    void DeleteRequested();

protected:
    QModelIndex moveCursor(CursorAction cursorAction, Qt::KeyboardModifiers modifiers) override;
    int horizontalOffset() const override;
    int verticalOffset() const override;
    bool isIndexHidden(const QModelIndex& index) const override;
    void setSelection(const QRect& rect, QItemSelectionModel::SelectionFlags command) override;
    QRegion visualRegionForSelection(const QItemSelection& selection) const override;
    void updateGeometries() override;
    void scrollContentsBy(int dx, int dy) override;
    void paintEvent(QPaintEvent* event) override;
    void changeEvent(QEvent* event) override;

    void currentChanged(const QModelIndex& current, const QModelIndex& previous) override;
    void closeEditor(QWidget* editor, QAbstractItemDelegate::EndEditHint hint) override;
    void keyPressEvent(QKeyEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void wheelEvent(QWheelEvent* event) override;
    bool event(QEvent* event) override;

private:
    friend class TRowIndicator;
    int RowCount() const;
    // Pixels of a distance in rows, and back: true pixels near the top row, one pixel a row
    // beyond (IsNear tells which).
    int RowsToPixels(qint64 rows) const;
    qint64 PixelsToRows(int pixels) const;
    bool IsNear(qint64 rows) const;
    // Row at a viewport y, not limited to the rows that exist.
    qint64 RowAtY(int y) const;
    int RowY(qint64 row) const;
    int VisibleColumn(int visual, int step) const;
    // Selects whole rows (Qt::Vertical) or columns: a click one, Shift from the last plain
    // click on (or from the current cell when it has moved since), Ctrl adds or takes away
    // one; the line becomes current.
    void SelectLines(Qt::Orientation orientation, int line, Qt::KeyboardModifiers modifiers);
    void RowsChanged();
    QWidget* OpenEditor() const;
    // Fits a column to the rows on screen, at most as wide as the viewport.
    void FitColumn(int column);

    QHeaderView* m_header;
    TRowIndicator* m_indicator;
    int m_rowHeight = 0;
    bool m_returning = false;
    int m_pressTop = 0;
    // Where Shift on the indicator or the titles starts, and the line chosen there last.
    struct TLineAnchor {
        int from = -1;
        int last = -1;
    };
    TLineAnchor m_rowAnchor;
    TLineAnchor m_columnAnchor;
};
