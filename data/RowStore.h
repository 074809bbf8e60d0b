#pragma once

#include <QByteArray>
#include <QtGlobal>
#include <atomic>
#include <memory>
#include <vector>

// One value of the row store as it is kept: a kind and its binary payload. Text and bytes
// point into the store and stay valid as long as the store lives.
struct TCell {
    enum TKind : quint8 { Null, Integer, Float, Text, Bytes, Date, Time, Timestamp };
    TKind Kind = Null;
    qint64 Int =
        0; // Integer; Date: days since 1970-01-01; Time: ms of the day; Timestamp: ms since 1970 (wall clock)
    double Real = 0;
    const char* Data = nullptr; // Text (UTF-8) and Bytes
    qsizetype Size = 0;

    bool IsNull() const { return Kind == Null; }
};

// The rows of a result: append-only, in chunks of row pointers over large byte blocks, each
// row a run of tagged values (no object per cell). One writer thread appends rows; any
// thread may read the rows published so far (RowCount) without a lock, while rows arrive.
class TRowStore {
public:
    explicit TRowStore(int columnCount);
    ~TRowStore();
    TRowStore(const TRowStore&) = delete;
    TRowStore& operator=(const TRowStore&) = delete;

    int ColumnCount() const { return m_columnCount; }
    // Rows published so far; rows below this count never change.
    qint64 RowCount() const { return m_rowCount.load(std::memory_order_acquire); }
    TCell Cell(qint64 row, int column) const;
    // The encoded bytes of one row (for copying a row aside).
    QByteArray RowBytes(qint64 row) const;
    // Bytes allocated for rows so far (for the benchmark and memory reports).
    qint64 AllocatedBytes() const { return m_allocated.load(std::memory_order_relaxed); }

    // Writer side, one thread at a time: BeginRow, one Add per column, EndRow publishes it.
    void BeginRow();
    void AddNull();
    void AddInt(qint64 value);
    void AddReal(double value);
    void AddText(const char* utf8, qsizetype size);
    void AddText(const QString& text);
    void AddBytes(const char* data, qsizetype size);
    void AddDate(qint64 daysSinceEpoch);
    void AddTime(qint64 msecsOfDay);
    void AddTimestamp(qint64 msecsSinceEpoch);
    void EndRow();
    // The row begun with BeginRow, encoded, without storing it (edit buffers).
    QByteArray PendingRow() const { return QByteArray(m_scratch.data(), qsizetype(m_scratch.size())); }
    // Appends a row encoded elsewhere (RowBytes, EncodeRow).
    void AppendEncoded(const QByteArray& row);

    // The cell at a column of an encoded row.
    static TCell CellOfRow(const char* row, int column);

private:
    struct TChunk;
    void PutTag(quint8 tag);
    void PutVarBytes(quint8 tag, const char* data, qsizetype size);
    const char* StoreRow(const char* data, qsizetype size);
    const char* RowPointer(qint64 row) const;

    const int m_columnCount;
    std::atomic<qint64> m_rowCount{0};
    std::atomic<qint64> m_allocated{0};
    std::vector<char> m_scratch;
    // Chunk directory; replaced by a larger copy when full, old copies kept until the end so
    // that a reader holding one stays safe.
    std::atomic<TChunk**> m_directory{nullptr};
    qint64 m_directoryCapacity = 0;
    std::vector<std::unique_ptr<TChunk*[]>> m_directories;
    std::vector<std::unique_ptr<TChunk>> m_chunks;
    std::vector<std::unique_ptr<char[]>> m_blocks;
    char* m_block = nullptr;
    qsizetype m_blockUsed = 0;
    qsizetype m_blockSize = 0;
};
