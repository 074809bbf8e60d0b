#pragma once

#include "data/Field.h"
#include "data/RowMap.h"
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

    // Rows fetched so far, less deleted and with inserted rows.
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
    // Appends Text(row, column) to `out`, without a string of its own for the common kinds
    // (copying a whole result goes through here).
    void AppendText(QString& out, qint64 row, int column) const;
    QVariant Value(qint64 row, int column) const;
    // See TRowStore::ReleaseSpilledPages; for readers that pass over every row.
    void ReleaseSpilledPages() const {
        if (m_store)
            m_store->ReleaseSpilledPages();
    }

    virtual bool Supports(TCursorOption option) const;

    // Changing rows (updatable results only, after the fetch has ended).
    TEditState State() const { return m_state; }
    void Edit();
    // Adds an empty record at the current position (at the end when past the last) and
    // edits it; posting writes it, cancelling or posting it unchanged drops it again.
    void Insert();
    // Deletes the current row in the database and from the recordset.
    void Delete();
    // Writes the edit buffer; a change that would touch no row or several rows fails, the
    // edit stays in the buffer and nothing is written. Text typed into a field is read in the
    // user's locale for the field's type first; a text that does not fit fails the same way.
    // An inserted row is read back, so values the database fills in are shown.
    void Post();
    // Drops the edit buffer: the record is as it was, an inserted one is gone.
    void CancelUpdate();
    // Whether the edit buffer holds a value the user changed.
    bool Modified() const { return m_editChanged.contains(true); }

    // The value of a text typed by the user for a field of this type: numbers and dates in
    // the user's locale (or their SQL form), the empty text as null. Throws TDataError.
    static QVariant ParseText(const QString& text, TDataType type, const QString& fieldName);

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
    qint64 RowId(qint64 row) const { return m_rows.IdOf(row); }
    qint64 StoreRows() const { return m_store ? m_store->RowCount() : 0; }
    QVariantList RowValues(qint64 row) const;
    QVariantList ParsedEditValues() const;
    void DropInsertedRow();
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
    // Posted edits replace a row's bytes (by row id); inserted rows live beside the store,
    // row id -(k + 1) for m_insertedRows[k]; the map orders them among the store's rows.
    QHash<qint64, QByteArray> m_changedRows;
    std::vector<QByteArray> m_insertedRows;
    TRowMap m_rows;
};
