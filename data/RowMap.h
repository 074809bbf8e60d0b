#pragma once

#include <QtGlobal>
#include <vector>

// The order in which a recordset shows its rows once rows were inserted or deleted: runs of
// row-store rows and single inserted rows, so a change costs one run, not one entry per row.
// Until the first change the order is the store's own and the map holds nothing. A row id is
// a store row (>= 0) or an inserted row (< 0). Rows the store gains after the first change
// are not shown (changes wait until a fetch has ended). GUI thread.
class TRowMap {
public:
    void Reset();
    bool IsIdentity() const { return !m_active; }
    qint64 Count(qint64 storeRows) const { return m_active ? m_count : storeRows; }
    // The id of the row shown at a position (0 <= row < Count).
    qint64 IdOf(qint64 row) const;
    // The position of a row id; -1 when it is not shown.
    qint64 RowOf(qint64 id, qint64 storeRows) const;
    // Shows the row `id` at `row` (0 <= row <= Count); the rows from there move down.
    void Insert(qint64 row, qint64 id, qint64 storeRows);
    void Remove(qint64 row, qint64 storeRows);

private:
    struct TRun {
        qint64 Source; // first store row, or the id of an inserted row (then Count is 1)
        qint64 Count;
    };
    void Activate(qint64 storeRows);
    // Splits the run holding `row` so that a run starts there; returns its index.
    std::size_t SplitAt(qint64 row);
    void Renumber();
    std::size_t RunOf(qint64 row) const;

    bool m_active = false;
    qint64 m_count = 0;
    std::vector<TRun> m_runs;
    std::vector<qint64> m_starts; // the first position of each run
};
