#pragma once

#include "data/Field.h"
#include "data/RowStore.h"

#include <QHash>
#include <QVariantList>
#include <memory>

class TRowUpdater;

// A position in a recordset that survives edits and deletes of other rows.
using TBookmark = qint64;

// Rows and fields of a result: the row store, the current row, navigation, cell access by
// (row, column) for the grid, and the edit buffer of updatable results. Schema rowsets are
// plain recordsets; TQuery adds statements and fetching. GUI thread, except that the row
// store may be filled by a fetch worker meanwhile.
class TRecordset {
public:
    enum class TEditState { Browse, Edit, Insert };

    TRecordset();
    virtual ~TRecordset();
    TRecordset(const TRecordset&) = delete;
    TRecordset& operator=(const TRecordset&) = delete;

    // A recordset holding the given columns, for rows that the caller adds (schema rowsets).
    static std::unique_ptr<TRecordset> CreateStatic(const QList<TColumnInfo>& columns);
    // Appends a row of values in column order (missing trailing values are null).
    void AppendRow(const QVariantList& values);

    TFields& Fields() { return m_fields; }
    const TFields& Fields() const { return m_fields; }
    TField& FieldByName(const QString& name) const { return m_fields.FieldByName(name); }

    // Rows fetched so far (less deleted rows).
    qint64 RecordCount() const;
    bool Eof() const;
    bool Bof() const;
    void First();
    void Next();
    void Prior();
    void Last();
    // Moves to a row by position (0-based); out of range gives BOF or EOF.
    void MoveTo(qint64 row);
    // The current row (0-based); -1 before the first, RecordCount() after the last.
    qint64 CurrentRow() const { return m_current; }
    TBookmark GetBookmark() const;
    void GotoBookmark(TBookmark bookmark);

    // Cells by (row, column) without moving the current row; the grid reads these.
    TCell Cell(qint64 row, int column) const;
    bool IsNull(qint64 row, int column) const { return Cell(row, column).IsNull(); }
    QString Text(qint64 row, int column) const;
    QVariant Value(qint64 row, int column) const;

    virtual bool Supports(TCursorOption option) const;

    // Changing rows (updatable results only, after the fetch has ended).
    TEditState State() const { return m_state; }
    void Edit();
    void Insert();
    // Deletes the current row in the database and from the recordset.
    void Delete();
    // Writes the edit buffer; a change that would touch no row or several rows fails, the
    // edit stays in the buffer and nothing is written.
    void Post();
    // Drops the edit buffer.
    void CancelUpdate();

    // Text of a stored value as the user sees it (user's locale; null gives empty text).
    static QString CellText(const TCell& cell, TDataType type);
    static QVariant CellValue(const TCell& cell, TDataType type);
    // Values in stored form, one cell per value.
    static QByteArray EncodeValues(const QVariantList& values);

protected:
    // Sets up fields and a store for these columns (a new empty one unless given); drops all rows.
    void ResetColumns(const QList<TColumnInfo>& columns, std::shared_ptr<TRowStore> store = nullptr);
    void ClearRecordset();
    TRowStore* Store() const { return m_store.get(); }
    void SetUpdater(std::unique_ptr<TRowUpdater> updater);
    // Whether rows may still arrive; edits wait until they stop.
    virtual bool Fetching() const { return false; }

private:
    friend class TField;
    qint64 PhysicalRow(qint64 row) const;
    qint64 LogicalRow(qint64 physical) const;
    TCell CurrentCell(int column) const;
    QVariant CurrentValue(int column) const;
    void SetEditValue(int column, const QVariant& value);
    void RequireUpdatable() const;
    void RequireCurrentRow() const;

    TFields m_fields;
    std::shared_ptr<TRowStore> m_store;
    std::unique_ptr<TRowUpdater> m_updater;
    qint64 m_current = -1;
    TEditState m_state = TEditState::Browse;
    QVariantList m_editValues;
    QList<bool> m_editChanged;
    // Posted edits replace a row's bytes; deleted rows are left out (sorted physical rows).
    QHash<qint64, QByteArray> m_changedRows;
    QList<qint64> m_deletedRows;
};
