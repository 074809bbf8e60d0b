#pragma once

#include <QAbstractTableModel>
#include <QFont>

class TRecordset;

// The rows of a recordset as a table for GrdResults. It reads the row store cell by cell
// when the view asks (no item per cell), so a million rows cost the model nothing beyond
// its row count. Typed values go into the recordset's edit buffer and are shown from there
// until the record is posted or cancelled; the record commands (post, cancel, insert,
// delete) run here so the rows the view knows follow the recordset. GUI thread.
class TResultModel : public QAbstractTableModel {
    Q_OBJECT
public:
    // A cell shows, and its tool tip holds, at most this many characters of its value: the
    // text of a multi-megabyte value would take seconds to lay out on every paint. Copies
    // and searches read the whole value (Qt::EditRole).
    static constexpr int ShownCharacters = 4000;

    explicit TResultModel(QObject* parent = nullptr);

    // Shows the rows the recordset holds now; null shows nothing.
    void SetRecordset(TRecordset* recordset, bool editable);
    TRecordset* Recordset() const { return m_recordset; }
    // Whether the shown result may be changed (read/write and updatable).
    bool Editable() const { return m_editable; }
    void SetHeaderFont(const QFont& font) { m_headerFont = font; }
    // The row the row indicator marks.
    void SetCurrentRow(int row);
    int CurrentRow() const { return m_currentRow; }
    // Rereads the row count after rows were added or removed.
    void Reload();
    // Shows rows the recordset gained at its end while they arrive (the view keeps its
    // place, current cell and selection).
    void GrowTo(qint64 count);
    // Whether the shown result may be changed from now on; the rows stay as they are.
    void SetEditable(bool editable);

    // The record being edited or inserted, -1 when none.
    int EditRow() const;
    bool Inserting() const;
    // Puts a record into edit state (the navigator's edit).
    void EditRecord(int row);
    // Writes the record being edited; on failure it throws and the record keeps its state
    // and the values typed. A new record left unchanged is dropped.
    void PostRecord();
    // Puts the record back as it was; a new record goes.
    void CancelRecord();
    // Adds an empty record at `row` in insert state (the pending record is posted first).
    void InsertRecord(int row);
    // Deletes the record at `row` in the database and from the grid.
    void DeleteRecord(int row);

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;
    Qt::ItemFlags flags(const QModelIndex& index) const override;
    bool setData(const QModelIndex& index, const QVariant& value, int role) override;

signals:
    // The edit state of the shown result changed (browse, edit, insert).
    void StateChanged();

private:
    void RowChanged(int row);
    // Brings the row count up to the recordset's after a command changed it.
    void SyncRows(int changedRow);
    bool IsNumericColumn(int column) const;
    // The value as shown: at most ShownCharacters of it, "…" after a value cut there.
    QString ShownText(int row, int column) const;
    bool IsNullCell(int row, int column) const;

    TRecordset* m_recordset = nullptr;
    int m_rows = 0;
    int m_columns = 0;
    int m_currentRow = -1;
    bool m_editable = false;
    QFont m_headerFont;
};
